#include "dialogs/tests/dialog_answers.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include "tests/support/win_test_support.h"

namespace orvane::testing {

namespace {
DialogSpy* g_spy = nullptr;
}

DialogSpy::DialogSpy(std::function<void(HWND, LPARAM)> on_init,
                     std::function<void(HWND)> on_destroy)
    : on_init_(std::move(on_init)), on_destroy_(std::move(on_destroy)) {
  g_spy = this;
  before_ = SetWindowsHookExW(WH_CALLWNDPROC, BeforeCall, nullptr, GetCurrentThreadId());
  after_ = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterCall, nullptr, GetCurrentThreadId());
}

DialogSpy::~DialogSpy() {
  if (before_) UnhookWindowsHookEx(before_);
  if (after_) UnhookWindowsHookEx(after_);
  g_spy = nullptr;
}

LRESULT CALLBACK DialogSpy::BeforeCall(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && g_spy && call->message == WM_INITDIALOG &&
      HasClass(call->hwnd, L"#32770") && g_spy->on_init_)
    g_spy->on_init_(call->hwnd, call->lParam);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK DialogSpy::AfterCall(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && g_spy && call->message == WM_DESTROY &&
      HasClass(call->hwnd, L"#32770") && g_spy->on_destroy_)
    g_spy->on_destroy_(call->hwnd);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

namespace {

// The colour dialog's RGB boxes and its "add to custom colours" button.
constexpr int kRedBox = 706;
constexpr int kGreenBox = 707;
constexpr int kBlueBox = 708;
constexpr int kAddCustomButton = 712;

// Sends a control's notification to its dialog, as a click or a choice
// in a list would.
void Notify(HWND dialog, int id, WORD code) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

std::optional<ColorDialogView> AnswerColorDialog(DWORD pid, std::optional<COLORREF> color,
                                                 bool add_custom) {
  HWND dialog = WaitForReadyDialog(pid);
  if (!dialog) return std::nullopt;
  ColorDialogView view;
  view.owner = GetWindow(dialog, GW_OWNER);
  view.red = ControlText(GetDlgItem(dialog, kRedBox));
  view.green = ControlText(GetDlgItem(dialog, kGreenBox));
  view.blue = ControlText(GetDlgItem(dialog, kBlueBox));
  if (color) {
    // Each box tells the dialog of its new text (EN_UPDATE).
    SetDlgItemInt(dialog, kRedBox, GetRValue(*color), FALSE);
    SetDlgItemInt(dialog, kGreenBox, GetGValue(*color), FALSE);
    SetDlgItemInt(dialog, kBlueBox, GetBValue(*color), FALSE);
    if (add_custom) Notify(dialog, kAddCustomButton, BN_CLICKED);
  }
  Press(dialog, color ? IDOK : IDCANCEL);
  return view;
}

std::optional<FontDialogView> AnswerFontDialog(DWORD pid, const std::optional<FontChoice>& choice) {
  HWND dialog = WaitForReadyDialog(pid);
  if (!dialog) return std::nullopt;
  FontDialogView view;
  view.owner = GetWindow(dialog, GW_OWNER);
  if (choice) {
    HWND faces = GetDlgItem(dialog, cmb1);
    LRESULT face = 0;
    if (!choice->face.empty())
      face = SendMessageW(faces, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(choice->face.c_str()));
    if (face == CB_ERR) return std::nullopt;
    SendMessageW(faces, CB_SETCURSEL, face, 0);
    Notify(dialog, cmb1, CBN_SELCHANGE);  // fills the style and size lists
    view.face = ControlText(faces);

    HWND styles = GetDlgItem(dialog, cmb2);
    const LRESULT style_count = SendMessageW(styles, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < style_count; ++i) {
      const LRESULT data = SendMessageW(styles, CB_GETITEMDATA, i, 0);
      if (LOWORD(data) == choice->weight && HIWORD(data) == 0)
        SendMessageW(styles, CB_SETCURSEL, i, 0);
    }
    HWND sizes = GetDlgItem(dialog, cmb3);
    const LRESULT size = SendMessageW(sizes, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(choice->size.c_str()));
    if (size == CB_ERR) return std::nullopt;
    SendMessageW(sizes, CB_SETCURSEL, size, 0);
    CheckDlgButton(dialog, chx1, choice->strikeout ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, chx2, choice->underline ? BST_CHECKED : BST_UNCHECKED);
    // One notice takes all the controls into the dialog's font.
    Notify(dialog, cmb3, CBN_SELCHANGE);
  }
  Press(dialog, choice ? IDOK : IDCANCEL);
  return view;
}

std::optional<FolderDialogView> AnswerFolderDialog(DWORD pid, const std::wstring& folder) {
  HWND dialog = WaitForReadyDialog(pid);
  if (!dialog) return std::nullopt;
  FolderDialogView view;
  view.owner = GetWindow(dialog, GW_OWNER);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (HasClass(child, L"Static") && view.title.empty()) view.title = ControlText(child);
  if (!folder.empty()) {
    // The first selection in a new Wine prefix can fail while the shell
    // sets itself up, leaving the tree with no chosen item and the dialog
    // answering the desktop: the selection is made again until it takes.
    HWND tree = nullptr;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM found) WINAPI -> BOOL {
          if (!HasClass(child, WC_TREEVIEWW)) return TRUE;
          *reinterpret_cast<HWND*>(found) = child;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&tree));
    // Under load the shell has also left the desktop chosen, the tree's
    // top item: every folder asked for lies below it.
    WaitUntil([&] {
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
      const HTREEITEM chosen = TreeView_GetSelection(tree);
      return chosen != nullptr && TreeView_GetParent(tree, chosen) != nullptr;
    });
  }
  Press(dialog, folder.empty() ? IDCANCEL : IDOK);
  return view;
}

}  // namespace orvane::testing
