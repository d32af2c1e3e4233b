// Driving the colour, font and folder dialogs from a second thread while
// the thread under test sits in the dialog (see AnswerDuring), and
// watching the requests the dialogs get on the thread under test.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace orvane::testing {

// Sees the dialogs the calling thread opens while it lives: `on_init`
// gets each dialog and the parameter of its WM_INITDIALOG (the request
// structure the dialog works on), `on_destroy` each dialog as it is
// destroyed, after the dialog procedure has handled WM_DESTROY. One at a
// time.
class DialogSpy {
 public:
  DialogSpy(std::function<void(HWND, LPARAM)> on_init, std::function<void(HWND)> on_destroy);
  DialogSpy(const DialogSpy&) = delete;
  DialogSpy& operator=(const DialogSpy&) = delete;
  ~DialogSpy();

 private:
  static LRESULT CALLBACK BeforeCall(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK AfterCall(int code, WPARAM wParam, LPARAM lParam);
  std::function<void(HWND, LPARAM)> on_init_;
  std::function<void(HWND)> on_destroy_;
  HHOOK before_ = nullptr;
  HHOOK after_ = nullptr;
};

// What the colour dialog showed, read before it was answered.
struct ColorDialogView {
  HWND owner = nullptr;
  std::wstring red, green, blue;  // the RGB boxes
};

// Waits for the colour dialog of `pid`, records what it shows, then types
// `color` into its RGB boxes (adding it to the custom colours when
// `add_custom`) and confirms, or cancels without a colour.
std::optional<ColorDialogView> AnswerColorDialog(DWORD pid, std::optional<COLORREF> color,
                                                 bool add_custom = false);

// A choice in the font dialog, made through its controls.
struct FontChoice {
  std::wstring face;  // a face the list holds; empty: the first one
  std::wstring size;  // an entry of the size list, "12"
  LONG weight = 400;  // the style whose weight this is, not italic
  bool strikeout = false;
  bool underline = false;
};

// What the font dialog showed and what was chosen in it.
struct FontDialogView {
  HWND owner = nullptr;
  std::wstring face;  // the face chosen
};

// Waits for the font dialog of `pid` and confirms `choice`, or cancels
// when there is none.
std::optional<FontDialogView> AnswerFontDialog(DWORD pid, const std::optional<FontChoice>& choice);

// What the folder dialog showed.
struct FolderDialogView {
  HWND owner = nullptr;
  std::wstring title;  // the text above the tree
};

// Waits for the folder dialog of `pid`, then selects `folder` in its tree
// (a file-system path; the dialog is told through BFFM_SETSELECTIONW) and
// confirms, or cancels when `folder` is empty.
std::optional<FolderDialogView> AnswerFolderDialog(DWORD pid, const std::wstring& folder);

}  // namespace orvane::testing
