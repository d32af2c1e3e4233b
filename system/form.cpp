#include "system/form.h"

#include "system/program_error.h"

namespace orvane {

Variant Form::GetProperty(std::u16string_view name) {
  if (SameName(name, u"hWnd"))
    return Variant::Long(static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(hWnd())));
  if (SameName(name, u"Width")) return Variant(static_cast<double>(Width()));
  if (SameName(name, u"Height")) return Variant(static_cast<double>(Height()));
  throw ProgramError(ErrorNumber::kNoSuchProperty);
}

void Form::SetProperty(std::u16string_view, const Variant&) {
  throw ProgramError(ErrorNumber::kNoSuchProperty);
}

Variant Picture::GetProperty(std::u16string_view name) {
  if (SameName(name, u"Handle"))
    return Variant::Long(static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(handle_)));
  throw ProgramError(ErrorNumber::kNoSuchProperty);
}

void Picture::SetProperty(std::u16string_view, const Variant&) {
  throw ProgramError(ErrorNumber::kNoSuchProperty);
}

int ScreenDotsPerInch(int axis) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, axis);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

namespace {

// Screen pixels to twips along one axis (LOGPIXELSX or LOGPIXELSY).
float PixelsToTwips(int pixels, int axis) {
  const int dpi = ScreenDotsPerInch(axis);
  return static_cast<float>(pixels) * 1440.0f / static_cast<float>(dpi);
}

}  // namespace

float WindowWidthInTwips(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return PixelsToTwips(rect.right - rect.left, LOGPIXELSX);
}

float WindowHeightInTwips(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return PixelsToTwips(rect.bottom - rect.top, LOGPIXELSY);
}

}  // namespace orvane
