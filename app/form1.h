// Form1: the program's one window. It lets the user say which kind of
// system is installed and starts the backup and restore jobs.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "dialogs/qor_dialog.h"
#include "system/form.h"
#include "system/qor_system.h"
#include "system/unique_handle.h"

namespace orvane {

class Form1 : public Form {
 public:
  // Control identifiers; a control array takes consecutive identifiers, so
  // a handler gets the index of the control that raised it.
  static constexpr int kCommand1Id = 200;  // 0 backup, 1 restore
  static constexpr int kCommand1Count = 2;
  static constexpr int kOption1Id = 210;  // 0 "Windows XP", 1 "Windows 2003", 2 other
  static constexpr int kOption1Count = 3;
  static constexpr int kLabel1Id = 220;
  static constexpr int kImage1Id = 221;
  static constexpr wchar_t kClassName[] = L"OrvaneMainWindow";

  Form1() = default;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() override;

  // Creates the window and its controls and runs Form_Load; the window
  // stays hidden until Show. False when the window cannot be created.
  bool Create(HINSTANCE instance);
  // Shows the window and puts the focus on the first button.
  void Show(int show_command);

  HWND hWnd() const override { return hwnd_; }
  float Width() const override { return WindowWidthInTwips(hwnd_); }
  float Height() const override { return WindowHeightInTwips(hwnd_); }
  // Adds "Icon": a picture of the window's icon, so that the window can
  // serve as both the menu window and the icon source of QorSystem::Tray.
  Variant GetProperty(std::u16string_view name) override;

  // The boot.ini text for `SysMenu` and `SysName`.
  std::u16string GetMenu(const std::u16string& SysMenu, const std::u16string& SysName) const;

  // The current system name, for tests.
  const std::u16string& cur_sys_name() const { return CurSysName; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool CreateControls();
  void OnCommand(int id, UINT code);

  void Form_Load();
  void Option1_Click(int index);
  void Command1_Click(int index);
  // Checks that the DOS side can do the job, then hands it over: the saved
  // menu, the image file, the ticket and the two boot files, all or none.
  // Tells the user what stands in the way. True when a restart may follow.
  bool HandOverToDos(bool backup);
  // Writes boot.ini and AUTOEXEC.BAT for the job, both or neither; tells
  // the user when they cannot be written. True when both were written.
  bool WriteBootFiles(bool backup);
  // Closing is never refused; nothing is asked or written.
  void Form_Unload(bool& cancel);

  QorSystem& Sys();
  QorDialog& Dlg();
  void SelectOption(int index);

  HWND hwnd_ = nullptr;
  std::array<HWND, kCommand1Count> command1_{};
  std::array<HWND, kOption1Count> option1_{};
  int selected_option_ = 0;
  unique_hicon image1_icon_;

  std::optional<QorSystem> SysObj;  // created on first use
  std::optional<QorDialog> DlgObj;  // created on first use
  std::u16string CurSysName;
  std::u16string ImagePath;  // the file chosen at the last job click
};

}  // namespace orvane
