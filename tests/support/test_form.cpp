#include "tests/support/test_form.h"

#include "system/program_error.h"

namespace orvane::testing {

namespace {
constexpr wchar_t kClassName[] = L"OrvaneTestForm";
}

TestForm::TestForm(int width, int height, int x, int y) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);  // fails harmlessly once registered
  hwnd_ = CreateWindowExW(0, kClassName, L"Test form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                          width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  width_twips_ = WindowWidthInTwips(hwnd_);
  height_twips_ = WindowHeightInTwips(hwnd_);
}

TestForm::~TestForm() {
  if (hwnd_) DestroyWindow(hwnd_);
}

HWND BrokenForm::hWnd() const { throw ProgramError(ErrorNumber::kNoSuchProperty); }

}  // namespace orvane::testing
