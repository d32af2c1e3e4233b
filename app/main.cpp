// Orvane: prepares a one-time restart into DOS that backs the system
// partition up into an image file or restores it from one.
#include <windows.h>

#include <commctrl.h>

#include "app/form1.h"

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
