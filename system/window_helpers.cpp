// QorSystem::Tray, DoSkin, TopFrom and MoveFrom.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "system/deferred_import.h"
#include "system/form.h"
#include "system/qor_system.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

// TrayIconRecord is exactly the head of NOTIFYICONDATAA that the shell
// accepts as its first version.
static_assert(sizeof(TrayIconRecord) == NOTIFYICONDATAA_V1_SIZE);
#ifdef _WIN64
static_assert(sizeof(TrayIconRecord) == 104);
#else
static_assert(sizeof(TrayIconRecord) == 88);
#endif
static_assert(offsetof(TrayIconRecord, hWnd) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(TrayIconRecord, uID) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(TrayIconRecord, uFlags) == offsetof(NOTIFYICONDATAA, uFlags));
static_assert(offsetof(TrayIconRecord, uCallbackMessage) ==
              offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(TrayIconRecord, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(TrayIconRecord, szTip) == offsetof(NOTIFYICONDATAA, szTip));

constexpr UINT kTrayFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;  // 7
constexpr UINT kTrayCallbackMessage = WM_MOUSEMOVE;            // 0x200
constexpr WPARAM kMoveByCaption = SC_MOVE | HTCAPTION;         // 0xF012

// Window and icon handles travel through automation as 32-bit integers;
// they sign-extend to the 64-bit handle, as the platform defines them.
template <class Handle>
Handle HandleFrom(const Variant& value) {
  return reinterpret_cast<Handle>(static_cast<INT_PTR>(value.ToLong()));
}

// A picture's value as an integer: an object gives its "Handle", the way
// a picture object's default property does; anything else is converted.
std::int32_t PictureAsInteger(const Variant& picture) {
  if (picture.kind() == Variant::Kind::kObject)
    return picture.ToObject()->GetProperty(u"Handle").ToLong();
  return picture.ToLong();
}

// The tip as the 64-byte field holds it: `title` and a zero byte in the
// ANSI code page, padded with spaces or cut to 64 bytes. A cut never
// splits a double-byte character: its lone lead byte becomes a space.
void FillTip(CHAR (&tip)[64], const std::string& title, UINT code_page) {
  std::string bytes = title;
  bytes += '\0';
  size_t length = 0;
  while (length < bytes.size()) {
    const bool lead = IsDBCSLeadByteEx(code_page, static_cast<BYTE>(bytes[length]));
    const size_t next = length + (lead ? 2 : 1);
    if (next > sizeof(tip)) break;
    length = next;
  }
  std::memset(tip, ' ', sizeof(tip));
  std::memcpy(tip, bytes.data(), std::min(length, bytes.size()));
}

// Twips to whole pixels along one axis (LOGPIXELSX or LOGPIXELSY) at the
// screen's resolution, halves rounding to the even neighbour; beyond the
// 32-bit range ProgramError 6.
std::int32_t TwipsToPixels(float twips, int axis) {
  const double twips_per_pixel = 1440.0 / ScreenDotsPerInch(axis);
  return Variant(static_cast<double>(twips) / twips_per_pixel).ToLong();
}

}  // namespace

void QorSystem::Tray(Boolean State, LateBoundObject& Menu, LateBoundObject& Icon,
                     const std::u16string& Title) {
  TrayIconRecord& record = TrayIcon.record;
  auto* data = reinterpret_cast<NOTIFYICONDATAA*>(&record);
  if (State == kTrue) {
    // Field by field in this order: a failed property fetch leaves the
    // fields before it as they are now.
    record.hWnd = HandleFrom<HWND>(Menu.GetProperty(u"hwnd"));
    record.uID = static_cast<UINT>(PictureAsInteger(Icon.GetProperty(u"Icon")));
    record.uFlags = kTrayFlags;
    record.uCallbackMessage = kTrayCallbackMessage;
    const Variant picture = Icon.GetProperty(u"Icon");
    record.hIcon = HandleFrom<HICON>(picture.ToObject()->GetProperty(u"Handle"));
    FillTip(record.szTip, code_page_.ToBytes(Title), code_page_.number());
    record.cbSize = sizeof(TrayIconRecord);
    ORVANE_DEFERRED_IMPORT("shell32.dll", Shell_NotifyIconA)(NIM_ADD, data);
  } else if (State == kFalse) {
    ORVANE_DEFERRED_IMPORT("shell32.dll", Shell_NotifyIconA)(NIM_DELETE, data);
  }
}

void QorSystem::DoSkin(const Form& TheForm, std::int32_t Pixels) {
  HWND window = TheForm.hWnd();
  const std::int32_t width = TwipsToPixels(TheForm.Width(), LOGPIXELSX);
  const std::int32_t height = TwipsToPixels(TheForm.Height(), LOGPIXELSY);
  unique_hrgn region(CreateRoundRectRgn(/*x1=*/0, /*y1=*/0, width, height, Pixels, Pixels));
  // Once set, the region belongs to the window.
  if (SetWindowRgn(window, region.get(), /*bRedraw=*/TRUE)) (void)region.release();
}

void QorSystem::TopFrom(const Form& From, Boolean State) {
  HWND insert_after;
  if (State == kTrue)
    insert_after = HWND_TOPMOST;
  else if (State == kFalse)
    insert_after = HWND_NOTOPMOST;
  else
    return;
  SetWindowPos(From.hWnd(), insert_after, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

void QorSystem::MoveFrom(const Form& From) {
  // The button press gave the mouse to the window under it; the move loop
  // takes it over.
  ReleaseCapture();
  SendMessageA(From.hWnd(), WM_SYSCOMMAND, kMoveByCaption, /*lParam=*/0);
}

}  // namespace orvane
