// The real orvane.exe, started under Wine as a person would start it.
// Every case runs in a Wine prefix of its own (see app/CMakeLists.txt):
// they change the product name and C:\CONFIG.SYS.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/form1.h"
#include "system/form.h"
#include "app/tests/program_fixture.h"
#include "tests/support/win_test_support.h"

namespace orvane::testing {
namespace {

struct ProductCase {
  const char* name;
  const wchar_t* product_name;  // null: no value at all
  int option;
};
void PrintTo(const ProductCase& c, std::ostream* out) { *out << c.name; }

class ProductNameTest : public ProgramTest, public ::testing::WithParamInterface<ProductCase> {};

TEST_P(ProductNameTest, ChoosesTheSystemAndWritesConfigSys) {
  SetRegistryString(HKEY_LOCAL_MACHINE, kProductKey, L"ProductName",
                    GetParam().product_name ? std::optional<std::wstring>(GetParam().product_name)
                                            : std::nullopt);
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(CheckedOption(), GetParam().option);
  EXPECT_EQ(ReadFileBytes(kConfigSys), ConfigLineFor(BuiltProgramFolder()));
}

INSTANTIATE_TEST_SUITE_P(ProductName, ProductNameTest,
                         ::testing::Values(ProductCase{"Xp", L"Microsoft Windows XP", 0},
                                           ProductCase{"Server2003",
                                                       L"Microsoft Windows Server 2003", 1},
                                           ProductCase{"LowerCaseXp", L"microsoft windows xp", 1},
                                           ProductCase{"Missing", nullptr, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramTest, ReplacesAReadOnlyHiddenConfigSysWithOneLine) {
  WriteFileBytes(kConfigSys, "FILES=30\r\nBUFFERS=20\r\nDEVICE=C:\\DOS\\HIMEM.SYS\r\n");
  ASSERT_TRUE(SetFileAttributesW(kConfigSys, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(ReadFileBytes(kConfigSys), ConfigLineFor(BuiltProgramFolder()));
  const DWORD attributes = GetFileAttributesW(kConfigSys);
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u) << attributes;
}

TEST_F(ProgramTest, ChineseProgramFolderIsWrittenInGbk) {
  const std::wstring folder = L"C:\\\u6D4B\u8BD5";  // C:\测试
  ASSERT_NO_FATAL_FAILURE(CopyProgram(folder));
  ASSERT_NO_FATAL_FAILURE(Start(folder + L"\\orvane.exe"));
  // DOS reads the folder by its short name, in the ANSI code page. (Under
  // Wine short names are hashed, so that of 测试 is ASCII; on FAT it is
  // 测试 itself, "\xB2\xE2\xCA\xD4".)
  const std::wstring dos = DosFolderOf(folder);
  char ansi[MAX_PATH] = {};
  ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, dos.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr), 0);
  EXPECT_EQ(ReadFileBytes(kConfigSys), "DEVICE=" + std::string(ansi) + "\\HIMEM.SYS");
}

TEST_F(ProgramTest, WindowLayoutAt96Dpi) {
  // The expected sizes are those at Xvfb's 96 dots per inch.
  ASSERT_EQ(ScreenDotsPerInch(LOGPIXELSX), 96);
  ASSERT_NO_FATAL_FAILURE(Start());

  EXPECT_EQ(ControlText(main_), L"Orvane 1.0");
  RECT client{};
  GetClientRect(main_, &client);
  EXPECT_EQ(client.right, 296);
  EXPECT_EQ(client.bottom, 111);
  RECT outer{};
  GetWindowRect(main_, &outer);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
  const LONG style = GetWindowLongW(main_, GWL_STYLE);
  EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_NE(style & WS_SYSMENU, 0);

  struct Expected {
    int id;
    const wchar_t* text;
    RECT rect;  // left, top, right, bottom in client pixels
  };
  const Expected controls[] = {
      {Form1::kCommand1Id, L"\u7CFB\u7EDF\u5907\u4EFD", {12, 8, 93, 41}},       // 系统备份
      {Form1::kCommand1Id + 1, L"\u7CFB\u7EDF\u6062\u590D", {12, 48, 93, 81}},  // 系统恢复
      {Form1::kOption1Id, L"Windows XP", {116, 16, 221, 28}},
      {Form1::kOption1Id + 1, L"Windows 2003", {116, 36, 221, 48}},
      {Form1::kOption1Id + 2, L"\u5176\u4ED6", {116, 56, 221, 68}},  // 其他
      {Form1::kLabel1Id, nullptr, {12, 92, 138, 104}},
      {Form1::kImage1Id, nullptr, {240, 20, 288, 68}},
  };
  for (const Expected& expected : controls) {
    HWND control = Control(expected.id);
    ASSERT_NE(control, nullptr) << expected.id;
    const RECT rect = ClientRectOf(control);
    EXPECT_EQ(rect.left, expected.rect.left) << expected.id;
    EXPECT_EQ(rect.top, expected.rect.top) << expected.id;
    EXPECT_EQ(rect.right, expected.rect.right) << expected.id;
    EXPECT_EQ(rect.bottom, expected.rect.bottom) << expected.id;
    if (expected.text) {
      EXPECT_EQ(ControlText(control), expected.text) << expected.id;
    }
  }
  EXPECT_FALSE(ControlText(Control(Form1::kLabel1Id)).empty());

  // No default button, no access keys; the focus starts on the backup
  // button and Tab walks the buttons, then the selected option.
  for (int i = 0; i < Form1::kCommand1Count; ++i) {
    HWND button = Control(Form1::kCommand1Id + i);
    EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(ControlText(button).find(L'&'), std::wstring::npos);
  }
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  EXPECT_TRUE(WaitUntil([&] {
    return GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &gui) &&
           gui.hwndFocus == Control(Form1::kCommand1Id);
  }));
  HWND second = GetNextDlgTabItem(main_, Control(Form1::kCommand1Id), FALSE);
  EXPECT_EQ(second, Control(Form1::kCommand1Id + 1));
  EXPECT_EQ(GetNextDlgTabItem(main_, second, FALSE), Control(Form1::kOption1Id + CheckedOption()));
}

// The common dialogs, the shell and the print spooler are loaded at their
// first use: the window never waits for them.
TEST_F(ProgramTest, StartsWithoutTheDialogShellAndSpoolerDlls) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::vector<std::wstring> loaded = LoadedModules(program_->pid());
  auto is_loaded = [&](const wchar_t* name) {
    return std::find(loaded.begin(), loaded.end(), name) != loaded.end();
  };
  ASSERT_TRUE(is_loaded(L"user32.dll")) << "the program's modules could not be listed";
  for (const wchar_t* dll : {L"comdlg32.dll", L"shell32.dll", L"winspool.drv"})
    EXPECT_FALSE(is_loaded(dll)) << dll;
}

TEST_F(ProgramTest, ClosingRightAfterStartWritesNothingElse) {
  ASSERT_NO_FATAL_FAILURE(Start());
  PostMessageW(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(program_->WaitForExit(), 0u);
  EXPECT_EQ(ReadFileBytes(kConfigSys), ConfigLineFor(BuiltProgramFolder()));
  EXPECT_EQ(GetFileAttributesW(L"C:\\boot.ini"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(L"C:\\AUTOEXEC.BAT"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace orvane::testing
