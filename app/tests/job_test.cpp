// The backup and restore jobs of the real orvane.exe, driven through its
// window, its file dialog and its message boxes. Each case runs in a Wine
// prefix of its own. A restart there ends every process of the prefix;
// the test process protects itself from that and reads the restart
// request from Wine's relay log.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "app/boot_text.h"
#include "app/form1.h"
#include "app/tests/program_fixture.h"
#include "tests/support/win_test_support.h"

namespace orvane::testing {
namespace {

const wchar_t kBootIni[] = L"C:\\boot.ini";
const wchar_t kAutoexec[] = L"C:\\AUTOEXEC.BAT";
const wchar_t kOrvaneKey[] = L"SOFTWARE\\Orvane";
const wchar_t kImageFolderValue[] = L"\u8DEF\u7ECF";  // 路经
const wchar_t kSaveButton[] = L"\u4FDD\u5B58(&S)";    // 保存(&S)
const wchar_t kOpenButton[] = L"\u6253\u5F00(&O)";    // 打开(&O)
constexpr DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

std::string Narrow(const std::u16string& ascii) { return std::string(ascii.begin(), ascii.end()); }

// Today as the format "yyyy-M-d" writes it.
std::wstring Today() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[32];
  swprintf(text, 32, L"%d-%d-%d", now.wYear, now.wMonth, now.wDay);
  return text;
}

class JobTest : public ProgramTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ProtectFromRestart());
    SetRegistryString(HKEY_LOCAL_MACHINE, kProductKey, L"ProductName", L"Microsoft Windows XP");
    SetShortDate(L"yyyy-M-d");
    TraceCalls(L"user32.ExitWindowsEx");
  }
  void SetShortDate(const wchar_t* format) {
    SetRegistryString(HKEY_CURRENT_USER, L"Control Panel\\International", L"sShortDate", format);
  }
  void StartTraced() { Start(BuiltProgram(), {L"WINEDEBUG=+pid,+relay"}); }

  // The restart the program asked Wine for, as the relay log shows it.
  bool RestartRequested() {
    char prefix[16];
    snprintf(prefix, sizeof(prefix), "%04lx:", program_->pid());
    const std::string call = "Call user32.ExitWindowsEx(00000007,ffffffff)";
    const std::string log = WineLog();
    for (size_t at = log.find(call); at != std::string::npos; at = log.find(call, at + 1)) {
      const size_t line = log.rfind('\n', at) + 1;  // npos + 1 is 0
      if (log.compare(line, strlen(prefix), prefix) == 0) return true;
    }
    return false;
  }
  // Waits for the click to be over: no box open, the window idle again.
  void WaitForJobEnd() {
    ASSERT_TRUE(WaitUntil([&] { return FindWindowOf(program_->pid(), L"#32770") == nullptr; }));
    ASSERT_TRUE(WaitUntilIdle(main_));
  }
  std::optional<std::wstring> StoredFolder() {
    return ReadRegistryString(HKEY_LOCAL_MACHINE, kOrvaneKey, kImageFolderValue);
  }
  static DWORD Attributes(const wchar_t* path) { return GetFileAttributesW(path); }
  static std::string Batch(const std::string& command_and_image) {
    const std::wstring folder = BuiltProgramFolder();
    return "@Echo Off\r\nPath=" + std::string(folder.begin(), folder.end()) + "\r\nSmartdrv\r\n" +
           command_and_image;
  }
};

TEST_F(JobTest, BackupWithYesWritesBothFilesThenRestarts) {
  ASSERT_TRUE(CreateDirectoryW(L"C:\\Backup", nullptr));
  WriteFileBytes(kBootIni, "old menu");
  WriteFileBytes(kAutoexec, "old batch");
  SetFileAttributesW(kBootIni, kReadOnlyHidden);
  SetFileAttributesW(kAutoexec, kReadOnlyHidden);
  ASSERT_NO_FATAL_FAILURE(StartTraced());

  Click(Form1::kCommand1Id);
  const std::wstring name = Today() + L"-XP.GHO";
  const auto dialog = AnswerFileDialog(program_->pid(), L"C:\\Backup\\" + name);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->title, L"Orvane");
  EXPECT_EQ(dialog->ok_button, kSaveButton);
  EXPECT_EQ(dialog->file_name, name);
  const auto confirm = AnswerMessageBox(program_->pid(), IDYES);
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->title, L"Orvane");
  EXPECT_EQ(confirm->text, L"\u60A8\u786E\u5B9A\u8981\u5907\u4EFD\u8BE5\u7CFB\u7EDF\u5417\uFF1F");
  EXPECT_EQ(confirm->buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(confirm->default_button, IDYES);
  EXPECT_FALSE(confirm->has_icon);

  // The restart ends the program.
  ASSERT_TRUE(program_->WaitForExit().has_value());
  EXPECT_TRUE(RestartRequested()) << WineLog();
  const std::string menu = Narrow(GetMenu(u"Dos", u"XP"));
  EXPECT_EQ(menu.size(), 180u);
  EXPECT_EQ(ReadFileBytes(kBootIni), menu);
  EXPECT_EQ(Attributes(kBootIni) & kReadOnlyHidden, kReadOnlyHidden);
  EXPECT_EQ(ReadFileBytes(kAutoexec),
            Batch("BF C:\\Backup\\" + std::string(name.begin(), name.end())));
  EXPECT_EQ(StoredFolder(), L"C:\\Backup\\");
  EXPECT_EQ(ReadFileBytes(kConfigSys), ConfigLineFor(BuiltProgramFolder()));
}

TEST_F(JobTest, BackupWithNoTouchesNoFileButProtectsBootIniAndKeepsTheFolder) {
  ASSERT_TRUE(CreateDirectoryW(L"C:\\Backup", nullptr));
  WriteFileBytes(kBootIni, "old menu");
  WriteFileBytes(kAutoexec, "old batch");
  ASSERT_NO_FATAL_FAILURE(StartTraced());

  Click(Form1::kCommand1Id);
  ASSERT_TRUE(AnswerFileDialog(program_->pid(), L"C:\\Backup\\x.GHO"));
  ASSERT_TRUE(AnswerMessageBox(program_->pid(), IDNO));
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());

  EXPECT_EQ(ReadFileBytes(kBootIni), "old menu");
  EXPECT_EQ(Attributes(kBootIni) & kReadOnlyHidden, kReadOnlyHidden);
  EXPECT_EQ(ReadFileBytes(kAutoexec), "old batch");
  EXPECT_EQ(StoredFolder(), L"C:\\Backup\\");
  EXPECT_FALSE(RestartRequested());
  EXPECT_FALSE(program_->WaitForExit(std::chrono::milliseconds(0)).has_value());
}

TEST_F(JobTest, RestoreChoosesAnExistingImageAndRunsHf) {
  ASSERT_TRUE(CreateDirectoryW(L"C:\\Images", nullptr));
  WriteFileBytes(L"C:\\Images\\sys.GHO", "image");
  ASSERT_NO_FATAL_FAILURE(StartTraced());

  Click(Form1::kCommand1Id + 1);
  const auto dialog = AnswerFileDialog(program_->pid(), L"C:\\Images\\sys.GHO");
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->ok_button, kOpenButton);
  EXPECT_EQ(dialog->file_name, L"");
  const auto confirm = AnswerMessageBox(program_->pid(), IDYES);
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->text, L"\u60A8\u786E\u5B9A\u8981\u6062\u590D\u8BE5\u7CFB\u7EDF\u5417\uFF1F");

  ASSERT_TRUE(program_->WaitForExit().has_value());
  EXPECT_TRUE(RestartRequested());
  EXPECT_EQ(ReadFileBytes(kBootIni), Narrow(GetMenu(u"Dos", u"XP")));
  EXPECT_EQ(ReadFileBytes(kAutoexec), Batch("HF C:\\Images\\sys.GHO"));
  EXPECT_EQ(StoredFolder(), L"C:\\Images\\");
}

TEST_F(JobTest, CancelledDialogEndsTheJob) {
  // A date format whose separator cannot stand in a file name.
  SetShortDate(L"yyyy/M/d");
  SetRegistryString(HKEY_LOCAL_MACHINE, kOrvaneKey, kImageFolderValue, L"D:\\Old\\");
  WriteFileBytes(kBootIni, "old menu");
  ASSERT_NO_FATAL_FAILURE(StartTraced());

  Click(Form1::kCommand1Id);
  const auto dialog = AnswerFileDialog(program_->pid(), L"");
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->file_name, Today() + L"-XP.GHO");
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());

  EXPECT_EQ(ReadFileBytes(kBootIni), "old menu");
  EXPECT_EQ(Attributes(kBootIni) & kReadOnlyHidden, 0u);
  EXPECT_EQ(Attributes(kAutoexec), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(StoredFolder(), L"D:\\Old\\");
  EXPECT_FALSE(RestartRequested());
}

TEST_F(JobTest, UnwritableAutoexecLeavesBootIniAsItWasAndDoesNotRestart) {
  ASSERT_TRUE(CreateDirectoryW(L"C:\\Backup", nullptr));
  ASSERT_TRUE(CreateDirectoryW(kAutoexec, nullptr));  // a folder in the file's place
  WriteFileBytes(kBootIni, "old menu");
  ASSERT_NO_FATAL_FAILURE(StartTraced());

  Click(Form1::kCommand1Id);
  ASSERT_TRUE(AnswerFileDialog(program_->pid(), L"C:\\Backup\\x.GHO"));
  ASSERT_TRUE(AnswerMessageBox(program_->pid(), IDYES));
  const auto error = AnswerMessageBox(program_->pid(), IDOK);
  ASSERT_TRUE(error) << "no message about the failure";
  EXPECT_EQ(error->title, L"Orvane");
  EXPECT_NE(error->text.find(L"C:\\AUTOEXEC.BAT"), std::wstring::npos) << error->text;
  EXPECT_TRUE(error->has_icon);
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());

  EXPECT_EQ(ReadFileBytes(kBootIni), "old menu");
  EXPECT_FALSE(RestartRequested());
  EXPECT_FALSE(program_->WaitForExit(std::chrono::milliseconds(0)).has_value());
  EXPECT_EQ(StoredFolder(), L"C:\\Backup\\");
}

TEST_F(JobTest, ChineseImagePathAndEmptySystemName) {
  const std::wstring folder = L"C:\\\u5907\u4EFD\\";  // C:\备份\ .
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_NO_FATAL_FAILURE(StartTraced());
  // "其他" with the input box cancelled: the system name is empty.
  Click(Form1::kOption1Id + 2);
  ASSERT_TRUE(AnswerMessageBox(program_->pid(), IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());

  Click(Form1::kCommand1Id);
  const auto dialog = AnswerFileDialog(program_->pid(), folder + L"\u7CFB\u7EDF.GHO");  // 系统.GHO
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->file_name, Today() + L"-.GHO");
  ASSERT_TRUE(AnswerMessageBox(program_->pid(), IDYES));

  ASSERT_TRUE(program_->WaitForExit().has_value());
  EXPECT_TRUE(RestartRequested());
  EXPECT_EQ(ReadFileBytes(kBootIni), Narrow(GetMenu(u"Dos", u"")));
  EXPECT_EQ(ReadFileBytes(kAutoexec), Batch("BF C:\\\xB1\xB8\xB7\xDD\\\xCF\xB5\xCD\xB3.GHO"));
  EXPECT_EQ(StoredFolder(), folder);
}

}  // namespace
}  // namespace orvane::testing
