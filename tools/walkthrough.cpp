// Walks through a whole backup with the real orvane.exe, as a person
// would, for ./run: sets the product name and the short date format,
// starts the program, clicks "系统备份", saves into C:\Backup\ under the
// offered name and answers Yes. Saves a screenshot of the screen at each
// step and, after the restart, a report of what the job left behind.
//
//   orvane_walkthrough.exe <folder for screenshots and report, Windows path>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/form1.h"
#include "tests/support/win_test_support.h"

namespace orvane::testing {
namespace {

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->pid && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

// The visible top-level windows of process `pid`.
std::vector<HWND> WindowsOf(DWORD pid) {
  WindowSearch search{pid, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Has every window of process `pid` painted anew, then captures the whole
// screen once two captures in a row agree (what a thread painted reaches
// the screen when it goes idle) and writes it as a 24-bit BMP file. False
// when the windows or the screen are not done by the deadline.
bool SaveScreenshot(DWORD pid, const std::wstring& path) {
  for (HWND window : WindowsOf(pid))
    if (!WaitUntilPainted(window)) return false;

  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const DWORD row = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::string pixels(row * height, '\0');
  std::string previous;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool stable = WaitUntil([&] {
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    const bool same = pixels == previous;
    previous = pixels;
    return same;
  });
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!stable) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
  bytes += pixels;
  WriteFileBytes(path, bytes);
  return true;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
  bytes.pop_back();
  return bytes;
}

std::string AttributesText(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return "missing";
  std::string text;
  if (attributes & FILE_ATTRIBUTE_READONLY) text += "read-only ";
  if (attributes & FILE_ATTRIBUTE_HIDDEN) text += "hidden ";
  if (attributes & FILE_ATTRIBUTE_SYSTEM) text += "system ";
  if (attributes & FILE_ATTRIBUTE_ARCHIVE) text += "archive ";
  return text.empty() ? "normal" : text.substr(0, text.size() - 1);
}

int Fail(const char* what) {
  fprintf(stderr, "walkthrough: %s\n", what);
  return 1;
}

int Walk(const std::wstring& out) {
  ProtectFromRestart();
  SetRegistryString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                    L"ProductName", L"Microsoft Windows XP");
  // The short date format of a Chinese (PRC) Windows XP.
  SetRegistryString(HKEY_CURRENT_USER, L"Control Panel\\International", L"sShortDate", L"yyyy-M-d");
  CreateDirectoryW(L"D:\\Backup", nullptr);

  // ./run installed the program as C:\ORVANE\orvane.exe with BF.COM and
  // HF.COM, and a DOS boot on drive C.
  ChildProcess program(L"C:\\ORVANE\\orvane.exe", {L"ORVANE_TEST_VOLUMES=D:FAT32"});
  HWND main = WaitForWindow(program.pid(), Form1::kClassName);
  if (!main) return Fail("the main window did not appear");
  printf("walkthrough: the window is open\n");
  if (!SaveScreenshot(program.pid(), out + L"1-window.bmp"))
    return Fail("the window did not finish painting");

  PostMessageW(GetDlgItem(main, Form1::kCommand1Id), BM_CLICK, 0, 0);
  HWND dialog = WaitForWindow(program.pid(), L"#32770");
  if (!dialog) return Fail("the save dialog did not appear");
  WaitUntil([&] { return !ControlText(GetDlgItem(dialog, IDOK)).empty(); });
  if (!SaveScreenshot(program.pid(), out + L"2-save-dialog.bmp"))
    return Fail("the save dialog did not finish painting");
  const std::wstring offered = ControlText(GetDlgItem(dialog, 0x47C));
  printf("walkthrough: clicked the backup button; the save dialog offers %s\n",
         Utf8(offered).c_str());
  if (!AnswerFileDialog(program.pid(), L"D:\\Backup\\" + offered))
    return Fail("could not answer the save dialog");

  HWND confirm = WaitForWindow(program.pid(), L"#32770");
  if (!confirm) return Fail("the confirmation did not appear");
  WaitUntil([&] { return !ControlText(GetDlgItem(confirm, IDYES)).empty(); });
  if (!SaveScreenshot(program.pid(), out + L"3-confirmation.bmp"))
    return Fail("the confirmation did not finish painting");
  printf("walkthrough: saved as D:\\Backup\\%s; answering Yes\n", Utf8(offered).c_str());
  if (!AnswerMessageBox(program.pid(), IDYES)) return Fail("could not answer the confirmation");

  if (!program.WaitForExit(std::chrono::seconds(30)))
    return Fail("the program did not end with the restart");
  printf("walkthrough: the restart ended the program\n");

  std::string report;
  for (const wchar_t* path : {L"C:\\boot.ini", L"C:\\AUTOEXEC.BAT", L"C:\\CONFIG.SYS",
                              L"C:\\ORVANE.JOB", L"C:\\BOOT.ORV"}) {
    report += "== " + Utf8(path) + " (" + AttributesText(path) + ")\n";
    const std::string bytes = ReadFileBytes(path).value_or("");
    const int size =
        MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(936, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    report += Utf8(text) + "\n";
  }
  const auto folder = ReadRegistryString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvane", L"\u8DEF\u7ECF");
  report += "== HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane, " + Utf8(L"\u8DEF\u7ECF") + "\n" +
            (folder ? Utf8(*folder) : std::string("(missing)")) + "\n";
  WriteFileBytes(out + L"report.txt", report);
  return 0;
}

}  // namespace
}  // namespace orvane::testing

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: orvane_walkthrough <output folder>\\\n");
    return 2;
  }
  std::wstring out = argv[1];
  if (!out.empty() && out.back() != L'\\') out += L'\\';
  return orvane::testing::Walk(out);
}
