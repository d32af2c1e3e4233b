// The backup and restore jobs of the real orvane.exe, driven through its
// window, its file dialog and its message boxes. Each case runs in a Wine
// prefix of its own. A restart there ends every process of the prefix;
// the test process protects itself from that and reads the restart
// request from Wine's relay log.
//
// The program is installed as a user would: C:\ORVANE\orvane.exe beside
// BF.COM and HF.COM, with C:\BOOTSECT.DOS on drive C and the images on
// drive D. Wine reports every drive as NTFS, which DOS cannot read: jobs
// that pass every check run orvane_fat_volumes.exe, the same program with
// the file systems that ORVANE_TEST_VOLUMES names (D: as FAT32).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/boot_text.h"
#include "app/form1.h"
#include "app/tests/program_fixture.h"
#include "dos/engine/image.h"
#include "tests/support/common_test_support.h"
#include "tests/support/win_test_support.h"

namespace orvane::testing {
namespace {

const wchar_t kBootIni[] = L"C:\\boot.ini";
const wchar_t kSavedMenu[] = L"C:\\BOOT.ORV";
const wchar_t kTicket[] = L"C:\\ORVANE.JOB";
const wchar_t kInstalled[] = L"C:\\ORVANE";
const wchar_t kFatVolumesBuild[] = L"orvane_fat_volumes.exe";
const wchar_t kFatD[] = L"D:FAT32";  // ORVANE_TEST_VOLUMES: drive D as FAT32
const char kUserMenu[] =
    "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" "
    "/noexecute=optin\r\n";
const wchar_t kAutoexec[] = L"C:\\AUTOEXEC.BAT";
const wchar_t kSavedAutoexec[] = L"C:\\AUTOEXEC.ORV";
const wchar_t kOrvaneKey[] = L"SOFTWARE\\Orvane";
const wchar_t kImageFolderValue[] = L"\u8DEF\u7ECF";  // 路经
const wchar_t kSaveButton[] = L"\u4FDD\u5B58(&S)";    // 保存(&S)
const wchar_t kOpenButton[] = L"\u6253\u5F00(&O)";    // 打开(&O)
constexpr DWORD kReadOnlyHidden = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

// Today as the format "yyyy-M-d" writes it.
std::wstring Today() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[32];
  swprintf(text, 32, L"%d-%d-%d", now.wYear, now.wMonth, now.wDay);
  return text;
}

// A small, whole image in the DOS side's format: 40 sectors of a volume the
// engine does not read, so every sector is in it.
std::string WholeImage() {
  struct Disk final : dos::SectorDisk {
    dos::Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override {
      for (uint32_t i = 0; i < count * dos::kSectorSize; ++i) buffer[i] = uint8_t(lba * 7 + i);
      return {};
    }
    dos::Status Write(uint32_t, uint16_t, const uint8_t*) override { return {}; }
    uint32_t SectorCount() override { return 40; }
  } disk;
  struct Out final : dos::ImageOutput {
    dos::Status Write(const uint8_t* data, uint32_t size) override {
      bytes.append(reinterpret_cast<const char*>(data), size);
      return {};
    }
    std::string bytes;
  } out;
  auto ws = std::make_unique<dos::Workspace>();
  dos::ImageSource source;
  source.partition = {0x80, 0x07, true, 63, 40};
  source.layout.total_sectors = 40;
  dos::ImageSummary plan;
  EXPECT_TRUE(dos::PlanImage(disk, source, *ws, &plan).ok());
  EXPECT_TRUE(dos::WriteImage(disk, source, plan, 0, 0, out, *ws, nullptr, nullptr).ok());
  return out.bytes;
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
    return !WineLogLines(program_->pid(), "Call user32.ExitWindowsEx(00000007,ffffffff)").empty();
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
  static std::string Batch(const std::string& command_and_image,
                           const std::wstring& folder = kInstalled) {
    const std::wstring dos = DosFolderOf(folder);
    return "@Echo Off\r\nPath=" + std::string(dos.begin(), dos.end()) + "\r\nSmartdrv\r\n" +
           command_and_image;
  }
  // Copies a build of the program into `folder` with the DOS commands beside
  // it, and a DOS boot onto drive C, as a user installs Orvane.
  static void Install(const std::wstring& folder = kInstalled,
                      const wchar_t* build = kFatVolumesBuild, bool commands = true) {
    ASSERT_NO_FATAL_FAILURE(CopyProgram(folder, build));
    if (commands) {
      WriteFileBytes(folder + L"\\BF.COM", "BF");
      WriteFileBytes(folder + L"\\HF.COM", "HF");
    }
    WriteFileBytes(L"C:\\BOOTSECT.DOS", std::string(512, '\0'));
  }
  // Starts the installed program, its calls traced, with the drives that
  // `volumes` (ORVANE_TEST_VOLUMES) names, or none.
  void StartInstalled(const std::wstring& folder = kInstalled, const wchar_t* volumes = kFatD) {
    std::vector<std::wstring> environment{L"WINEDEBUG=+pid,+relay"};
    if (volumes) environment.push_back(std::wstring(L"ORVANE_TEST_VOLUMES=") + volumes);
    Start(folder + L"\\orvane.exe", environment);
  }
  // Clicks backup (or restore), chooses `image` in the file dialog and
  // answers the confirmation with `answer`.
  void ChooseImage(bool restore, const std::wstring& image, int answer = IDYES) {
    Click(Form1::kCommand1Id + (restore ? 1 : 0));
    ASSERT_TRUE(AnswerFileDialog(program_->pid(), image));
    ASSERT_TRUE(AnswerMessageBox(program_->pid(), answer));
  }
  // Answers the message that ends a refused job: title "Orvane", the error
  // icon. What it showed.
  MessageBoxView Refusal() {
    const auto error = AnswerMessageBox(program_->pid(), IDOK);
    EXPECT_TRUE(error) << "no message about the refusal";
    if (!error) return {};
    EXPECT_EQ(error->title, L"Orvane");
    EXPECT_TRUE(error->has_icon);
    return *error;
  }
  // What a job that did not end in a restart leaves: none of the files it
  // makes for DOS, boot.ini as it was but protected, no restart.
  void ExpectNothingHandedOver(const std::string& menu, const std::wstring& image) {
    EXPECT_EQ(ReadFileBytes(kBootIni), menu);
    EXPECT_EQ(Attributes(kBootIni) & kReadOnlyHidden, kReadOnlyHidden);
    EXPECT_EQ(Attributes(kTicket), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Attributes(kSavedMenu), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Attributes(kSavedAutoexec), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Attributes(image.c_str()), INVALID_FILE_ATTRIBUTES) << "no empty image left";
    EXPECT_FALSE(RestartRequested());
    EXPECT_FALSE(program_->WaitForExit(std::chrono::milliseconds(0)).has_value());
  }
};

TEST_F(JobTest, BackupThatPassesEveryCheckHandsOverAndRestartsLast) {
  ASSERT_NO_FATAL_FAILURE(Install());
  ASSERT_TRUE(CreateDirectoryW(L"D:\\Backup", nullptr));
  WriteFileBytes(kBootIni, kUserMenu);
  WriteFileBytes(kAutoexec, "old batch");
  SetFileAttributesW(kBootIni, kReadOnlyHidden);
  SetFileAttributesW(kAutoexec, kReadOnlyHidden);
  const DWORD user_attributes = Attributes(kBootIni);
  // Asked now: after the restart Wine's mount manager is gone.
  DWORD serial = 0;
  ASSERT_TRUE(GetVolumeInformationW(L"D:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
  TraceCalls(L"kernel32.MoveFileExW;kernel32.SetFileAttributesW;user32.ExitWindowsEx");
  ASSERT_NO_FATAL_FAILURE(StartInstalled());

  Click(Form1::kCommand1Id);
  const std::wstring name = Today() + L"-XP.GHO";
  const std::wstring image = L"D:\\Backup\\" + name;
  const auto dialog = AnswerFileDialog(program_->pid(), image);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->title, L"Orvane");
  EXPECT_EQ(dialog->ok_button, kSaveButton);
  EXPECT_EQ(dialog->file_name, name);
  const auto confirm = AnswerMessageBox(program_->pid(), IDYES);
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->text, L"\u60A8\u786E\u5B9A\u8981\u5907\u4EFD\u8BE5\u7CFB\u7EDF\u5417\uFF1F");
  EXPECT_EQ(confirm->buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_FALSE(confirm->has_icon);

  // The restart ends the program, and nothing of the job comes after it.
  ASSERT_TRUE(program_->WaitForExit().has_value());
  EXPECT_TRUE(RestartRequested()) << WineLog();
  const std::string log = WineLog();
  const size_t restart = log.rfind("Call user32.ExitWindowsEx");
  EXPECT_EQ(log.find("Call kernel32.", restart), std::string::npos) << log.substr(restart);

  EXPECT_EQ(ReadFileBytes(image), "") << "the image file exists, empty";
  EXPECT_EQ(ReadFileBytes(kSavedMenu), kUserMenu);
  EXPECT_EQ(ReadFileBytes(kSavedAutoexec), "old batch");
  const std::wstring short_image = DosFolderOf(image);
  char ticket[512];
  snprintf(ticket, sizeof ticket,
           "[Orvane]\r\nJob=BF\r\nImage=%ls\r\nSerial=%04lX-%04lX\r\nShortPath=%ls\r\n"
           "BootAttributes=%lu\r\n",
           image.c_str(), serial >> 16, serial & 0xFFFF, short_image.c_str() + 2, user_attributes);
  EXPECT_EQ(ReadFileBytes(kTicket), ticket);
  EXPECT_EQ(ReadFileBytes(kBootIni), Ascii(GetMenu(u"Dos", u"XP")));
  EXPECT_EQ(Attributes(kBootIni) & kReadOnlyHidden, kReadOnlyHidden);
  EXPECT_EQ(ReadFileBytes(kAutoexec), Batch("BF " + std::string(image.begin(), image.end())));
  EXPECT_EQ(ReadFileBytes(kConfigSys), ConfigLineFor(kInstalled));
  EXPECT_EQ(StoredFolder(), L"D:\\Backup\\");
}

TEST_F(JobTest, RestoreOfAWholeImageKeepsAnEarlierSavedMenu) {
  ASSERT_NO_FATAL_FAILURE(Install());
  ASSERT_TRUE(CreateDirectoryW(L"D:\\Images", nullptr));
  WriteFileBytes(L"D:\\Images\\sys.GHO", WholeImage());
  // A job whose restart never came: boot.ini is the DOS menu, BOOT.ORV the
  // user's own, and that must stay so.
  WriteFileBytes(kBootIni, Ascii(GetMenu(u"Dos", u"XP")));
  WriteFileBytes(kSavedMenu, kUserMenu);
  WriteFileBytes(kAutoexec, Batch("BF D:\\Images\\old.GHO"));
  WriteFileBytes(kSavedAutoexec, "user batch");
  ASSERT_NO_FATAL_FAILURE(StartInstalled());

  Click(Form1::kCommand1Id + 1);
  const auto dialog = AnswerFileDialog(program_->pid(), L"D:\\Images\\sys.GHO");
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->ok_button, kOpenButton);
  EXPECT_EQ(dialog->file_name, L"");
  const auto confirm = AnswerMessageBox(program_->pid(), IDYES);
  ASSERT_TRUE(confirm);
  EXPECT_EQ(confirm->text, L"\u60A8\u786E\u5B9A\u8981\u6062\u590D\u8BE5\u7CFB\u7EDF\u5417\uFF1F");

  ASSERT_TRUE(program_->WaitForExit().has_value());
  EXPECT_TRUE(RestartRequested());
  EXPECT_EQ(ReadFileBytes(kSavedMenu), kUserMenu);
  const std::string ticket = ReadFileBytes(kTicket).value_or("");
  EXPECT_EQ(ticket.find("[Orvane]\r\nJob=HF\r\nImage=D:\\Images\\sys.GHO\r\n"), 0u) << ticket;
  EXPECT_NE(ticket.find("\r\nBootAttributes="), std::string::npos) << ticket;
  EXPECT_EQ(ReadFileBytes(kAutoexec), Batch("HF D:\\Images\\sys.GHO"));
  EXPECT_EQ(ReadFileBytes(kSavedAutoexec), "user batch");
  EXPECT_EQ(StoredFolder(), L"D:\\Images\\");
}

TEST_F(JobTest, BackupWithNoTouchesNoFileButProtectsBootIniAndKeepsTheFolder) {
  ASSERT_NO_FATAL_FAILURE(Install());
  ASSERT_TRUE(CreateDirectoryW(L"D:\\Backup", nullptr));
  WriteFileBytes(kBootIni, "old menu");
  WriteFileBytes(kAutoexec, "old batch");
  ASSERT_NO_FATAL_FAILURE(StartInstalled());

  ASSERT_NO_FATAL_FAILURE(ChooseImage(false, L"D:\\Backup\\x.GHO", IDNO));
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());

  ExpectNothingHandedOver("old menu", L"D:\\Backup\\x.GHO");
  EXPECT_EQ(ReadFileBytes(kAutoexec), "old batch");
  EXPECT_EQ(StoredFolder(), L"D:\\Backup\\");
}

// With no folder remembered, a backup's dialog opens on the first FAT
// drive after C, or, without one, where it always did: a bare name typed
// into it is saved in that folder, which the program then remembers.
TEST_F(JobTest, BackupDialogOpensOnTheFirstFatDriveAfterC) {
  ASSERT_NO_FATAL_FAILURE(Install());
  WriteFileBytes(kBootIni, kUserMenu);
  ASSERT_NO_FATAL_FAILURE(StartInstalled());
  ASSERT_NO_FATAL_FAILURE(ChooseImage(false, L"here.GHO", IDNO));
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());
  EXPECT_EQ(StoredFolder(), L"D:\\");
}

TEST_F(JobTest, BackupDialogWithoutAFatDriveOpensAsBefore) {
  // The real program: Wine reports drive D as NTFS.
  ASSERT_NO_FATAL_FAILURE(Install(kInstalled, L"orvane.exe"));
  WriteFileBytes(kBootIni, kUserMenu);
  ASSERT_NO_FATAL_FAILURE(StartInstalled(kInstalled, nullptr));
  Click(Form1::kCommand1Id);
  ASSERT_TRUE(AnswerFileDialog(program_->pid(), L"here.GHO"));
  // Not on drive D: the image would be on drive C, which is refused.
  EXPECT_TRUE(Refusal().has_icon);
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());
  EXPECT_NE(StoredFolder().value_or(L"D:\\"), L"D:\\");
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
  EXPECT_EQ(Attributes(kTicket), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(StoredFolder(), L"D:\\Old\\");
  EXPECT_FALSE(RestartRequested());
}

TEST_F(JobTest, UnwritableAutoexecUndoesTheHandOverAndDoesNotRestart) {
  ASSERT_NO_FATAL_FAILURE(Install());
  ASSERT_TRUE(CreateDirectoryW(L"D:\\Backup", nullptr));
  ASSERT_TRUE(CreateDirectoryW(kAutoexec, nullptr));  // a folder in the file's place
  WriteFileBytes(kBootIni, "old menu");
  ASSERT_NO_FATAL_FAILURE(StartInstalled());

  ASSERT_NO_FATAL_FAILURE(ChooseImage(false, L"D:\\Backup\\x.GHO"));
  const std::wstring error = Refusal().text;
  EXPECT_NE(error.find(L"C:\\AUTOEXEC.BAT"), std::wstring::npos) << error;
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());

  ExpectNothingHandedOver("old menu", L"D:\\Backup\\x.GHO");
  EXPECT_EQ(StoredFolder(), L"D:\\Backup\\");
}

TEST_F(JobTest, ChineseImagePathLongProgramFolderAndEmptySystemName) {
  const std::wstring program = L"C:\\Orvane Tools";
  ASSERT_NO_FATAL_FAILURE(Install(program));
  const std::wstring folder = L"D:\\\u5907\u4EFD\\";  // D:\备份\ .
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_NO_FATAL_FAILURE(StartInstalled(program));
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
  EXPECT_EQ(ReadFileBytes(kBootIni), Ascii(GetMenu(u"Dos", u"")));
  // DOS reads the program's folder by its short name; the image keeps its
  // full path, which BF finds through the ticket.
  ASSERT_NE(DosFolderOf(program), program);
  EXPECT_EQ(ReadFileBytes(kAutoexec),
            Batch("BF D:\\\xB1\xB8\xB7\xDD\\\xCF\xB5\xCD\xB3.GHO", program));
  EXPECT_EQ(ReadFileBytes(kConfigSys), ConfigLineFor(program));
  EXPECT_EQ(StoredFolder(), folder);
}

// Each check refuses before the question and before anything is written:
// one message box with the error icon, then the job ends as after No.
struct CheckCase {
  const char* name;
  const wchar_t* build;    // the program that runs
  const wchar_t* volumes;  // ORVANE_TEST_VOLUMES, or null
  bool restore;
  const wchar_t* image;          // the chosen file
  std::string (*image_bytes)();  // its content for a restore, or null
  const wchar_t* message;        // the box's text begins so
  const wchar_t* advice;         // and goes on so after its first line
};
void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

const wchar_t kNothingChanged[] = L"没有做任何改动。";

class JobCheckTest : public JobTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(JobCheckTest, RefusesBeforeAnythingIsWritten) {
  const CheckCase& c = GetParam();
  const std::string name = c.name;
  const std::wstring folder = name == "ProgramNotOnDriveC" ? L"D:\\ORVANE" : kInstalled;
  ASSERT_NO_FATAL_FAILURE(Install(folder, c.build, name != "NoCommandBesideTheProgram"));
  if (name == "NoDosBootOnDriveC") DeleteFileW(L"C:\\BOOTSECT.DOS");
  CreateDirectoryW(L"C:\\Images", nullptr);
  CreateDirectoryW(L"D:\\Images", nullptr);
  const std::string bytes = c.image_bytes ? c.image_bytes() : std::string();
  if (c.image_bytes) WriteFileBytes(c.image, bytes);
  WriteFileBytes(kBootIni, kUserMenu);
  ASSERT_NO_FATAL_FAILURE(StartInstalled(folder, c.volumes));

  // The refusal comes instead of the question: the first box has the icon.
  Click(Form1::kCommand1Id + (c.restore ? 1 : 0));
  ASSERT_TRUE(AnswerFileDialog(program_->pid(), c.image));
  const MessageBoxView error = Refusal();
  EXPECT_EQ(error.text.rfind(c.message, 0), 0u) << error.text;
  // Then that nothing was changed and what to do.
  const size_t second_line = error.text.find(L'\n') + 1;
  EXPECT_EQ(error.text.substr(second_line), std::wstring(kNothingChanged) + c.advice) << error.text;
  EXPECT_EQ(error.buttons, (std::vector<int>{IDOK}));
  ASSERT_NO_FATAL_FAILURE(WaitForJobEnd());

  ExpectNothingHandedOver(kUserMenu, c.restore ? L"D:\\Images\\none" : c.image);
  if (c.image_bytes) {
    EXPECT_EQ(ReadFileBytes(c.image), bytes);
  }
  EXPECT_EQ(Attributes(kAutoexec), INVALID_FILE_ATTRIBUTES);
  const std::wstring image = c.image;
  EXPECT_EQ(StoredFolder(), image.substr(0, image.rfind(L'\\') + 1));
}

// Images a restore refuses: no image, one of a newer format, one cut short,
// one with a damaged header.
std::string ForeignFile() { return "not an image at all, though long enough to have ends"; }
std::string NewerImage() {
  std::string image = WholeImage();
  image[8] = static_cast<char>(dos::kFormatMajor + 1);
  return image;
}
std::string CutImage() {
  const std::string image = WholeImage();
  return image.substr(0, image.size() - 1);
}
std::string DamagedImage() {
  std::string image = WholeImage();
  image[100] ^= 1;
  return image;
}

// The message texts: what is wrong, then (after a line break) that nothing
// was changed and what to do.
INSTANTIATE_TEST_SUITE_P(
    Checks, JobCheckTest,
    ::testing::Values(
        CheckCase{
            "NoDosBootOnDriveC", L"orvane_fat_volumes.exe", L"D:FAT32", false, L"D:\\Images\\a.GHO",
            nullptr, L"找不到 C:\\BOOTSECT.DOS",
            L"请先让这台电脑能从启动菜单进入 DOS（C 盘需有 C:\\BOOTSECT.DOS），再备份或恢复。"},
        CheckCase{"NoCommandBesideTheProgram", L"orvane_fat_volumes.exe", L"D:FAT32", false,
                  L"D:\\Images\\a.GHO", nullptr, L"程序所在的文件夹中没有 BF.COM",
                  L"请把 BF.COM 放在 orvane.exe 所在的文件夹中。"},
        CheckCase{"ProgramNotOnDriveC", L"orvane_fat_volumes.exe", L"D:FAT32", false,
                  L"D:\\Images\\a.GHO", nullptr, L"Orvane 必须放在 C 盘上",
                  L"请把程序文件夹复制到 C 盘，例如 C:\\ORVANE。"},
        CheckCase{"BackupOntoDriveC", L"orvane.exe", nullptr, false, L"C:\\Images\\a.GHO", nullptr,
                  L"镜像文件不能放在 C 盘上：要备份的正是 C 盘。", L"请选择其他硬盘分区上的文件。"},
        CheckCase{"ImageOnANetworkDrive", L"orvane_fat_volumes.exe", L"D:FAT32:4", false,
                  L"D:\\Images\\a.GHO", nullptr, L"镜像文件所在的驱动器不是本机硬盘",
                  L"请选择本机硬盘上 FAT 或 FAT32 分区中的文件。"},
        // The real program, with what Wine reports of drive D.
        CheckCase{"ImageOnNtfs", L"orvane.exe", nullptr, false, L"D:\\Images\\a.GHO", nullptr,
                  L"镜像文件所在的分区是 NTFS", L"请选择 FAT 或 FAT32 分区中的文件。"},
        CheckCase{"RestoreOfAForeignFile", L"orvane_fat_volumes.exe", L"D:FAT32", true,
                  L"D:\\Images\\b.GHO", ForeignFile,
                  L"无法用所选文件恢复：它不是 Orvane 制作的镜像。\n",
                  L"请选择 Orvane 备份时生成的完整镜像文件。"},
        CheckCase{"RestoreOfANewerImage", L"orvane_fat_volumes.exe", L"D:FAT32", true,
                  L"D:\\Images\\b.GHO", NewerImage,
                  L"无法用所选文件恢复：它由更新版本的 Orvane 制作。\n",
                  L"请使用新版本的 Orvane。"},
        // The completion record is not where the file ends.
        CheckCase{"RestoreOfACutImage", L"orvane_fat_volumes.exe", L"D:FAT32", true,
                  L"D:\\Images\\b.GHO", CutImage,
                  L"无法用所选文件恢复：镜像不完整（当时备份没有完成）。\n",
                  L"请选择 Orvane 备份时生成的完整镜像文件。"},
        CheckCase{"RestoreOfADamagedImage", L"orvane_fat_volumes.exe", L"D:FAT32", true,
                  L"D:\\Images\\b.GHO", DamagedImage, L"无法用所选文件恢复：镜像已损坏。\n",
                  L"请选择 Orvane 备份时生成的完整镜像文件。"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane::testing

namespace orvane::testing {
namespace {

// The Windows half of the whole chain (dos/tests/chain_test.py runs it,
// then BF or HF under DOSBox on disks made from what it leaves): a job on
// drive C of this prefix, its files copied to ORVANE_CHAIN_OUT. Skipped
// without that variable.
class HandOverChain : public JobTest {
 protected:
  void SetUp() override {
    const char* out = getenv("ORVANE_CHAIN_OUT");
    if (!out) GTEST_SKIP() << "run by dos/tests/chain_test.py";
    out_ = std::wstring(out, out + strlen(out));
    JobTest::SetUp();
  }
  void RunJob(bool backup, const std::wstring& image) {
    ASSERT_NO_FATAL_FAILURE(Install());
    CreateDirectoryW(L"D:\\Backup", nullptr);
    WriteFileBytes(kBootIni, kUserMenu);
    SetFileAttributesW(kBootIni, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    WriteFileBytes(kAutoexec, "@ECHO OFF\r\nPROMPT $P$G\r\n");
    ASSERT_NO_FATAL_FAILURE(StartInstalled());
    ASSERT_NO_FATAL_FAILURE(ChooseImage(!backup, image));
    ASSERT_TRUE(program_->WaitForExit().has_value());
    ASSERT_TRUE(RestartRequested());
    for (const wchar_t* name :
         {L"boot.ini", L"BOOT.ORV", L"ORVANE.JOB", L"AUTOEXEC.BAT", L"AUTOEXEC.ORV"}) {
      const std::optional<std::string> bytes = ReadFileBytes(std::wstring(L"C:\\") + name);
      ASSERT_TRUE(bytes) << name;
      WriteFileBytes(out_ + L"\\" + name, *bytes);
    }
  }
  std::wstring out_;
};

TEST_F(HandOverChain, Backup) { RunJob(true, L"D:\\Backup\\SYS.GHO"); }

TEST_F(HandOverChain, Restore) {
  // The image BF made, as the chain test left it.
  const std::optional<std::string> image = ReadFileBytes(out_ + L"\\SYS.GHO");
  ASSERT_TRUE(image);
  CreateDirectoryW(L"D:\\Backup", nullptr);
  WriteFileBytes(L"D:\\Backup\\SYS.GHO", *image);
  RunJob(false, L"D:\\Backup\\SYS.GHO");
}

}  // namespace
}  // namespace orvane::testing
