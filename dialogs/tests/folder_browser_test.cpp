// BrowseFolder with the shell's real folder dialog, opened over a window
// of this process and answered from a second thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dialogs/qor_dialog.h"
#include "dialogs/tests/dialog_answers.h"
#include "system/program_error.h"
#include "tests/support/test_form.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::AnswerFolderDialog;
using testing::BackgroundThread;
using testing::FolderDialogView;

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

class FolderBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"orvane-folder-" + std::to_wstring(GetCurrentProcessId()) +
              L"-" + std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  }
  void TearDown() override {
    if (!inner_.empty()) RemoveDirectoryW(inner_.c_str());
    RemoveDirectoryW(folder_.c_str());
  }

  // Calls BrowseFolder while a second thread selects `folder` and
  // confirms (empty: cancels); `seen` receives what the dialog showed.
  std::u16string Browse(const std::wstring& folder, FolderDialogView* seen = nullptr,
                        const std::u16string& title = u"Pick a folder") {
    std::optional<FolderDialogView> view;
    std::u16string result;
    {
      BackgroundThread answer([&] { view = AnswerFolderDialog(GetCurrentProcessId(), folder); });
      result = dialogs_.BrowseFolder(form_, title);
    }
    EXPECT_TRUE(view.has_value()) << "no dialog appeared";
    if (seen && view) *seen = *view;
    return result;
  }

  testing::TestForm form_;
  QorDialog dialogs_;
  std::wstring folder_;  // no final backslash
  std::wstring inner_;
};

TEST_F(FolderBrowserTest, CancelGivesEmptyText) { EXPECT_EQ(Browse(L""), u""); }

TEST_F(FolderBrowserTest, AChosenFolderGivesItsFullPathAlone) {
  FolderDialogView seen;
  EXPECT_EQ(Browse(folder_, &seen, u"\u9009\u62E9\u6587\u4EF6\u5939"), U16(folder_));  // 选择文件夹
  EXPECT_EQ(seen.owner, form_.hWnd());
  EXPECT_EQ(seen.title, L"\u9009\u62E9\u6587\u4EF6\u5939");

  // A Chinese name comes back whole; no final backslash, no padding.
  inner_ = folder_ + L"\\\u5907\u4EFD";  // 备份
  ASSERT_TRUE(CreateDirectoryW(inner_.c_str(), nullptr));
  EXPECT_EQ(Browse(inner_), U16(inner_));
}

TEST_F(FolderBrowserTest, TheRootOfDriveCKeepsItsBackslash) { EXPECT_EQ(Browse(L"C:\\"), u"C:\\"); }

TEST_F(FolderBrowserTest, AnUnreadableOwnerIsRaisedBeforeAnyDialog) {
  testing::BrokenForm broken;
  EXPECT_THROW(dialogs_.BrowseFolder(broken, u"t"), ProgramError);
}

}  // namespace
}  // namespace orvane
