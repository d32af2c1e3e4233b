// Orvane: prepares a one-time restart into DOS that backs the system
// partition up into an image file or restores it from one.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <exception>

#include "app/form1.h"

// std::terminate calls this by default. libstdc++'s own names the uncaught
// exception on standard error, which a windowed program lacks, then
// aborts; it brings the C++ name demangler (about 45 KB) with it. Defined
// here, it keeps libstdc++'s out of the link.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

int RunMessageLoop(HWND window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and arrow keys move between the controls.
    if (IsWindow(window) && IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  orvane::Form1 form;
  if (!form.Create(instance)) return 1;
  form.Show(show_command);
  return RunMessageLoop(form.hWnd());
}
