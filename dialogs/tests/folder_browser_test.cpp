// BrowseFolder with the shell's real folder dialog, opened over a window
// of this process and answered from a second thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dialogs/qor_dialog.h"
#include "dialogs/tests/dialog_answers.h"
#include "system/program_error.h"
#include "tests/support/common_test_support.h"
#include "tests/support/test_form.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::AnswerDuring;
using testing::AnswerFolderDialog;
using testing::FolderDialogView;
using testing::U16;

class FolderBrowserTest : public ::testing::Test {
 protected:
  // Calls BrowseFolder while a second thread selects `folder` and
  // confirms (empty: cancels); `seen` receives what the dialog showed.
  std::u16string Browse(const std::wstring& folder, FolderDialogView* seen = nullptr,
                        const std::u16string& title = u"Pick a folder") {
    std::u16string result;
    EXPECT_TRUE(AnswerDuring([&] { return AnswerFolderDialog(GetCurrentProcessId(), folder); },
                             [&] { result = dialogs_.BrowseFolder(form_, title); }, seen))
        << "no dialog appeared";
    return result;
  }

  testing::TestForm form_;
  QorDialog dialogs_;
  testing::TempFolder temp_{L"orvane-folder-"};
  const std::wstring folder_ = temp_.path();  // no final backslash
};

TEST_F(FolderBrowserTest, CancelGivesEmptyText) { EXPECT_EQ(Browse(L""), u""); }

TEST_F(FolderBrowserTest, AChosenFolderGivesItsFullPathAlone) {
  FolderDialogView seen;
  EXPECT_EQ(Browse(folder_, &seen, u"\u9009\u62E9\u6587\u4EF6\u5939"), U16(folder_));  // 选择文件夹
  EXPECT_EQ(seen.owner, form_.hWnd());
  EXPECT_EQ(seen.title, L"\u9009\u62E9\u6587\u4EF6\u5939");

  // A Chinese name comes back whole; no final backslash, no padding.
  const std::wstring inner = folder_ + L"\\\u5907\u4EFD";  // 备份
  ASSERT_TRUE(CreateDirectoryW(inner.c_str(), nullptr));
  EXPECT_EQ(Browse(inner), U16(inner));
}

TEST_F(FolderBrowserTest, TheRootOfDriveCKeepsItsBackslash) { EXPECT_EQ(Browse(L"C:\\"), u"C:\\"); }

TEST_F(FolderBrowserTest, AnUnreadableOwnerIsRaisedBeforeAnyDialog) {
  testing::BrokenForm broken;
  EXPECT_THROW(dialogs_.BrowseFolder(broken, u"t"), ProgramError);
}

}  // namespace
}  // namespace orvane
