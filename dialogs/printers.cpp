// QorDialog's default-printer operations and the printer-connection
// dialog.
#include <windows.h>

#include <winspool.h>

#include <algorithm>

#include "dialogs/qor_dialog.h"
#include "system/deferred_import.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

void ClosePrinterHandle(HANDLE printer) {
  ORVANE_DEFERRED_IMPORT("winspool.drv", ClosePrinter)(printer);
}

using unique_printer = unique_handle<null_traits<HANDLE, &ClosePrinterHandle>>;

constexpr char kSection[] = "windows";
constexpr char kKey[] = "device";

// GetDefaultPrinter's buffer: 1025 bytes, 1024 of them offered to the
// platform, which keeps one for its terminator.
constexpr DWORD kEntryBufferBytes = 1025;
constexpr DWORD kEntryOfferedBytes = 1024;

// How long the change notice waits for each window. A window that does
// not answer in time, or whose thread is hung, is passed over rather than
// blocking the caller for good.
constexpr UINT kNoticeTimeoutMs = 5000;

// Tells every top-level window that the "windows" section changed, and
// waits until each has handled it (or is passed over, see above).
void BroadcastWindowsSectionChanged() {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, /*wParam=*/0,
                      reinterpret_cast<LPARAM>(kSection), SMTO_ABORTIFHUNG, kNoticeTimeoutMs,
                      &ignored);
}

std::u16string TrimSpaces(std::u16string text) {
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return u"";
  const size_t last = text.find_last_not_of(u' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

void QorDialog::SetDefaultPrinter(const Printer& objPrn) {
  // Read in this order, all before anything is written.
  const std::u16string device = objPrn.DeviceName();
  const std::u16string driver = objPrn.DriverName();
  const std::u16string port = objPrn.Port();
  ResetDefaultPrinter(device + u"," + driver + u"," + port);
}

std::u16string QorDialog::GetDefaultPrinter() {
  std::string buffer(kEntryBufferBytes, ' ');
  const DWORD copied =
      GetProfileStringA(kSection, kKey, /*lpDefault=*/"", buffer.data(), kEntryOfferedBytes);
  buffer.resize(std::min(copied, kEntryOfferedBytes));
  return TrimSpaces(code_page_.FromBytes(buffer));
}

void QorDialog::ResetDefaultPrinter(const std::u16string& szBuf) {
  const std::string entry = code_page_.ToBytes(szBuf);
  WriteProfileStringA(kSection, kKey, entry.c_str());
  BroadcastWindowsSectionChanged();
}

Boolean QorDialog::DialogConnectToPrinter(const Form& f) {
  HWND owner = f.hWnd();
  // The connection, if any, stays; the handle to the printer is not needed.
  unique_printer printer(
      ORVANE_DEFERRED_IMPORT("winspool.drv", ConnectToPrinterDlg)(owner, /*Flags=*/0));
  return kTrue;
}

}  // namespace orvane
