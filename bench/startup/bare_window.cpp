// The yardstick of Orvane's start-up: a window that looks like Orvane's
// (same class icon, caption, style, client size, position and controls,
// same font, same common controls) and does nothing else. No C++ library,
// no registry, no files, only the DLLs such a window needs.
#include <windows.h>

#include <commctrl.h>

namespace {

constexpr wchar_t kClassName[] = L"OrvaneBareWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int kIconId = 1;  // the icon of app/orvane.ico, as in orvane.rc

struct Control {
  const wchar_t* window_class;
  const wchar_t* text;
  DWORD style;
  int left, top, width, height;  // twips
};

// Form1's controls in tab order, with its captions and layout.
constexpr Control kControls[] = {
    {L"BUTTON", L"\u7CFB\u7EDF\u5907\u4EFD", WS_TABSTOP | BS_PUSHBUTTON, 180, 120, 1215, 495},
    {L"BUTTON", L"\u7CFB\u7EDF\u6062\u590D", WS_TABSTOP | BS_PUSHBUTTON, 180, 720, 1215, 495},
    {L"BUTTON", L"Windows XP", WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 1740, 240, 1575, 180},
    {L"BUTTON", L"Windows 2003", BS_AUTORADIOBUTTON, 1740, 540, 1575, 180},
    {L"BUTTON", L"\u5176\u4ED6", BS_AUTORADIOBUTTON, 1740, 840, 1575, 180},
    {L"STATIC", L"\u00A9 2026 Orvane \u5F00\u53D1\u7EC4",
     WS_GROUP | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 180, 1380, 1890, 180},
    {L"STATIC", L"", SS_ICON | SS_REALSIZEIMAGE, 3600, 300, 720, 720},
};
constexpr int kFirstId = 200;
constexpr int kCheckedOption = 3;  // "Windows 2003", what Orvane selects in a fresh prefix
constexpr int kImageControl = 6;
constexpr int kImagePixels = 48;

int Dpi(int axis) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, axis);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

HICON LoadIconSized(HINSTANCE instance, int width, int height, UINT flags) {
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, width, height, flags));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  INITCOMMONCONTROLSEX common{sizeof(common), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);

  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon =
      LoadIconSized(instance, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
  window_class.hIconSm = LoadIconSized(instance, GetSystemMetrics(SM_CXSMICON),
                                       GetSystemMetrics(SM_CYSMICON), LR_SHARED);
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  if (!RegisterClassExW(&window_class)) return 1;

  const int dpi_x = Dpi(LOGPIXELSX);
  const int dpi_y = Dpi(LOGPIXELSY);
  RECT frame = {0, 0, MulDiv(4440, dpi_x, 1440), MulDiv(1665, dpi_y, 1440)};
  AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  HWND window = CreateWindowExW(0, kClassName, L"Orvane 1.0", kWindowStyle,
                                (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return 1;

  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  HWND controls[sizeof(kControls) / sizeof(kControls[0])] = {};
  for (int i = 0; i < static_cast<int>(sizeof(kControls) / sizeof(kControls[0])); ++i) {
    const Control& c = kControls[i];
    controls[i] = CreateWindowExW(
        0, c.window_class, c.text, WS_CHILD | WS_VISIBLE | c.style, MulDiv(c.left, dpi_x, 1440),
        MulDiv(c.top, dpi_y, 1440), MulDiv(c.width, dpi_x, 1440), MulDiv(c.height, dpi_y, 1440),
        window, reinterpret_cast<HMENU>(INT_PTR{kFirstId + i}), instance, nullptr);
    if (!controls[i]) return 1;
    SendMessageW(controls[i], WM_SETFONT, font, FALSE);
  }
  // Shared icons, as the class's: the system frees them with the module.
  HICON image = LoadIconSized(instance, kImagePixels, kImagePixels, LR_SHARED);
  SendMessageW(controls[kImageControl], STM_SETICON, reinterpret_cast<WPARAM>(image), 0);
  SendMessageW(controls[kCheckedOption], BM_SETCHECK, BST_CHECKED, 0);

  ShowWindow(window, show_command);
  UpdateWindow(window);
  SetFocus(controls[0]);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
