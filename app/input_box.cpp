#include "app/input_box.h"

#include <vector>

#include "app/resource.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

struct InputBoxState {
  const std::u16string* prompt;
  const std::u16string* title;
  std::u16string text;
};

std::u16string WindowText(HWND window) {
  std::vector<wchar_t> buffer(static_cast<size_t>(GetWindowTextLengthW(window)) + 1);
  const int length = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                        static_cast<size_t>(length));
}

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<InputBoxState*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      SetWindowTextW(dialog, AsWide(*state->title));
      SetDlgItemTextW(dialog, IDC_INPUTBOX_PROMPT, AsWide(*state->prompt));
      SetDlgItemTextW(dialog, IDOK, L"\u786E\u5B9A");      // 确定
      SetDlgItemTextW(dialog, IDCANCEL, L"\u53D6\u6D88");  // 取消
      return TRUE;  // focus to the first tab stop, the text box
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        auto* state = reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (LOWORD(wParam) == IDOK) state->text = WindowText(GetDlgItem(dialog, IDC_INPUTBOX_TEXT));
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

std::u16string InputBox(HWND owner, const std::u16string& prompt, const std::u16string& title) {
  InputBoxState state{&prompt, &title, {}};
  const INT_PTR result = DialogBoxParamW(
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
      MAKEINTRESOURCEW(IDD_INPUTBOX), owner, InputBoxProc, reinterpret_cast<LPARAM>(&state));
  return result == IDOK ? state.text : std::u16string();
}

}  // namespace orvane
