// The real orvane.exe started for a test, and what tests of it share.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "tests/support/win_test_support.h"

namespace orvane::testing {

inline const wchar_t kProductKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline const wchar_t kConfigSys[] = L"C:\\CONFIG.SYS";

inline std::wstring BuiltProgram() { return ExecutableFolder() + L"orvane.exe"; }

// The folder of the built program as the program reports it.
inline std::wstring BuiltProgramFolder() {
  std::wstring folder = ExecutableFolder();
  folder.pop_back();
  return folder;
}

// A folder as DOS reads it: its short path, as the platform gives it.
inline std::wstring DosFolderOf(const std::wstring& folder) {
  wchar_t short_path[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(folder.c_str(), short_path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(short_path, length) : folder;
}

// The CONFIG.SYS line for a program in `folder` (ASCII only).
inline std::string ConfigLineFor(const std::wstring& folder) {
  const std::wstring dos = DosFolderOf(folder);
  return "DEVICE=" + std::string(dos.begin(), dos.end()) + (dos.back() == L'\\' ? "" : "\\") +
         "HIMEM.SYS";
}

class ProgramTest : public ::testing::Test {
 protected:
  // Copies a build of the program (a file of the test's folder) into
  // `folder` as orvane.exe, making the folder.
  static void CopyProgram(const std::wstring& folder, const wchar_t* build = L"orvane.exe") {
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileW((ExecutableFolder() + build).c_str(), (folder + L"\\orvane.exe").c_str(), FALSE));
  }
  // Starts the program and waits for its main window.
  void Start(const std::wstring& exe = BuiltProgram(),
             const std::vector<std::wstring>& environment = {}) {
    program_ = std::make_unique<ChildProcess>(exe, environment);
    ASSERT_TRUE(program_->started()) << "error " << GetLastError();
    main_ = WaitForWindow(program_->pid(), Form1::kClassName);
    ASSERT_NE(main_, nullptr) << "the main window did not appear";
  }
  HWND Control(int id) { return GetDlgItem(main_, id); }
  // Clicks a control without waiting for what the click opens.
  void Click(int id) { PostMessageW(Control(id), BM_CLICK, 0, 0); }
  int CheckedOption() {
    int checked = -1;
    for (int i = 0; i < Form1::kOption1Count; ++i)
      if (SendMessageW(Control(Form1::kOption1Id + i), BM_GETCHECK, 0, 0) == BST_CHECKED) {
        EXPECT_EQ(checked, -1) << "two options selected";
        checked = i;
      }
    return checked;
  }
  // A control's rectangle in the main window's client coordinates.
  RECT ClientRectOf(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  std::unique_ptr<ChildProcess> program_;
  HWND main_ = nullptr;
};

}  // namespace orvane::testing
