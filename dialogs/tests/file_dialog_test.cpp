// DialogFile with the real common dialogs, opened over a window of this
// process and answered from a second thread.
#include "dialogs/qor_dialog.h"

#include <gtest/gtest.h>

#include "tests/support/common_test_support.h"
#include "tests/support/test_form.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::AnswerDuring;
using testing::AnswerFileDialog;
using testing::FileDialogView;
using testing::U16;

const std::u16string kFilter(u"Images (*.GHO)\0*.GHO\0", 22);

class FileDialogTest : public ::testing::Test {
 protected:
  // Calls DialogFile while a second thread answers the dialog with `path`
  // (empty: cancel); `seen` receives what the dialog showed.
  std::u16string Choose(std::int16_t mode, const std::u16string& initial_name,
                        const std::wstring& path, FileDialogView* seen = nullptr) {
    std::u16string result;
    const auto choose = [&] {
      result = dialogs_.DialogFile(form_, mode, u"Pick an image", initial_name, kFilter,
                                   U16(folder_), u"");
    };
    EXPECT_TRUE(
        AnswerDuring([&] { return AnswerFileDialog(GetCurrentProcessId(), path); }, choose, seen))
        << "no dialog appeared";
    return result;
  }

  void CreateFileIn(const std::wstring& name) { testing::WriteFileBytes(folder_ + name, "image"); }

  testing::TestForm form_;
  QorDialog dialogs_;
  testing::TempFolder temp_{L"orvane-dialog-"};
  const std::wstring folder_ = temp_.path() + L"\\";
};

TEST_F(FileDialogTest, ModeOneOpensAndEveryOtherModeSaves) {
  CreateFileIn(L"old.GHO");
  FileDialogView seen;
  EXPECT_EQ(Choose(1, u"", folder_ + L"old.GHO", &seen), U16(folder_ + L"old.GHO"));
  EXPECT_EQ(seen.ok_button, L"\u6253\u5F00(&O)");  // 打开(&O)
  EXPECT_EQ(seen.title, L"Pick an image");
  EXPECT_EQ(seen.file_name, L"");
  for (std::int16_t mode : {0, 2, -1}) {
    EXPECT_EQ(Choose(mode, u"new.GHO", folder_ + L"new.GHO", &seen), U16(folder_ + L"new.GHO"))
        << mode;
    EXPECT_EQ(seen.ok_button, L"\u4FDD\u5B58(&S)") << mode;  // 保存(&S)
    EXPECT_EQ(seen.file_name, L"new.GHO") << mode;
  }
}

TEST_F(FileDialogTest, CancelGivesEmptyTextInBothModes) {
  EXPECT_EQ(Choose(0, u"x.GHO", L""), u"");
  EXPECT_EQ(Choose(1, u"", L""), u"");
}

TEST_F(FileDialogTest, SaveAsksBeforeOverwritingAnExistingFile) {
  CreateFileIn(L"taken.GHO");
  std::u16string result;
  const bool prompted = AnswerDuring(
      [&] {
        AnswerFileDialog(GetCurrentProcessId(), folder_ + L"taken.GHO");
        return testing::AnswerMessageBox(GetCurrentProcessId(), IDYES);
      },
      [&] { result = dialogs_.DialogFile(form_, 0, u"t", u"", kFilter, U16(folder_), u""); });
  ASSERT_TRUE(prompted) << "no overwrite prompt";
  EXPECT_EQ(result, U16(folder_ + L"taken.GHO"));
}

TEST_F(FileDialogTest, ShorterChoiceLeavesNoTailOfTheInitialName) {
  const std::u16string long_name = u"a-very-long-initial-file-name-of-an-image.GHO";
  EXPECT_EQ(Choose(0, long_name, folder_ + L"b.GHO"), U16(folder_ + L"b.GHO"));
}

TEST_F(FileDialogTest, ChinesePathComesBackWhole) {
  const std::wstring path = folder_ + L"\u7CFB\u7EDF\u5907\u4EFD.GHO";  // 系统备份.GHO
  EXPECT_EQ(Choose(0, u"", path), U16(path));
}

TEST_F(FileDialogTest, InitialNameOf255CharactersIsShownAnd256AreRefusedFirst) {
  const std::u16string name(255, u'n');
  FileDialogView seen;
  EXPECT_EQ(Choose(0, name, L"", &seen), u"");
  // The box holds what fits the 255-byte buffer with its terminator.
  EXPECT_EQ(seen.file_name, std::wstring(254, L'n'));

  // Refused before any dialog: a dialog would block this call, so a
  // watcher cancels one if it appears and reports it.
  int error = 0;
  EXPECT_FALSE(testing::DialogOpenedDuring([&] {
    error = testing::ErrorOf(
        [&] { dialogs_.DialogFile(form_, 0, u"t", std::u16string(256, u'n'), kFilter, u"", u""); });
  }));
  EXPECT_EQ(error, 5);
}

}  // namespace
}  // namespace orvane
