// Shows, in a few lines each, what a 32-bit program lacks under Wine's WoW64
// mode on these machines (wine64 8.0 with the 32-bit DLLs of libwine:i386).
// The i686 build's tests that meet a gap are left out of ./test under the
// CTest label gap-<name>; when this program reports a gap mended, run them
// (ctest --preset win32 -L gap-<name>) and lift the exclusion.
//
//   orvane_wow64_gaps <gap>   screen-dc, icons, file-dialog, font-dialog,
//                             colour-dialog or folder-dialog
//
// Exit status 0: the gap is there; 1: it is not. The two dialogs that crash
// are run in a child process, ended after ten seconds (Wine's debugger waits
// for a terminal that never comes).
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The first visible dialog of this process, answered with Cancel: a dialog
// that shows is a dialog that works.
DWORD WINAPI CancelFirstDialog(void*) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(50)) {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM out) WINAPI -> BOOL {
          DWORD pid = 0;
          GetWindowThreadProcessId(window, &pid);
          char name[16] = {};
          GetClassNameA(window, name, sizeof(name));
          if (pid != GetCurrentProcessId() || std::strcmp(name, "#32770") != 0 ||
              !IsWindowVisible(window))
            return TRUE;
          *reinterpret_cast<HWND*>(out) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found) {
      std::printf("a dialog shows\n");
      PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
      return 0;
    }
  }
  return 0;
}

bool ShowsDialog(const char* gap) {
  HANDLE thread = CreateThread(nullptr, 0, CancelFirstDialog, nullptr, 0, nullptr);
  BOOL answer = FALSE;
  if (std::strcmp(gap, "file-dialog") == 0) {
    char file[MAX_PATH] = "";
    OPENFILENAMEA request{};
    request.lStructSize = sizeof(request);
    request.lpstrFile = file;
    request.nMaxFile = MAX_PATH;
    request.Flags = OFN_EXPLORER;
    answer = GetSaveFileNameA(&request);
  } else if (std::strcmp(gap, "font-dialog") == 0) {
    LOGFONTA font{};
    CHOOSEFONTA request{};
    request.lStructSize = sizeof(request);
    request.lpLogFont = &font;
    request.Flags = CF_SCREENFONTS;
    answer = ChooseFontA(&request);
  } else if (std::strcmp(gap, "colour-dialog") == 0) {
    COLORREF custom[16] = {};
    CHOOSECOLORA request{};
    request.lStructSize = sizeof(request);
    request.lpCustColors = custom;
    answer = ChooseColorA(&request);
  } else {
    CoInitialize(nullptr);
    BROWSEINFOA request{};
    answer = SHBrowseForFolderA(&request) != nullptr;
  }
  std::printf("the call returned %d, CommDlgExtendedError %lu\n", answer, CommDlgExtendedError());
  // Cancel was the answer: the helper found the dialog if it has ended.
  return WaitForSingleObject(thread, 1000) == WAIT_OBJECT_0 && !answer;
}

// Runs this program on `gap` in a child process and reports whether the child
// saw a dialog; a child that crashes or hangs did not.
bool ChildShowsDialog(const char* gap) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --child ";
  for (const char* c = gap; *c; ++c) command += static_cast<wchar_t>(*c);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  DWORD code = 2;
  if (WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 2);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("the child %s\n", code == 2 ? "crashed or hung" : "ended");
  return code == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return ShowsDialog(argv[2]) ? 0 : 1;
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvane_wow64_gaps <gap>\n");
    return 2;
  }
  const char* gap = argv[1];
  bool present = false;
  if (std::strcmp(gap, "screen-dc") == 0) {
    // The screen's device context answers 0 to every question, and no
    // memory context can be made from it.
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    HDC memory = CreateCompatibleDC(screen);
    std::printf("LOGPIXELSX %d, HORZRES %d, CreateCompatibleDC %p\n", dpi,
                GetDeviceCaps(screen, HORZRES), static_cast<void*>(memory));
    present = dpi == 0 || memory == nullptr;
  } else if (std::strcmp(gap, "icons") == 0) {
    // No icon loads, not even the system's own.
    SetLastError(0);
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    std::printf("LoadIconW(IDI_APPLICATION) %p, error %lu\n", static_cast<void*>(icon),
                GetLastError());
    present = icon == nullptr;
  } else if (std::strcmp(gap, "file-dialog") == 0 || std::strcmp(gap, "font-dialog") == 0) {
    // The call returns at once and no dialog shows.
    present = !ShowsDialog(gap);
  } else if (std::strcmp(gap, "colour-dialog") == 0 || std::strcmp(gap, "folder-dialog") == 0) {
    // The dialog crashes its process while it is made.
    present = !ChildShowsDialog(gap);
  } else {
    std::fprintf(stderr, "orvane_wow64_gaps: no gap named %s\n", gap);
    return 2;
  }
  std::printf("%s: %s\n", gap, present ? "the gap is there" : "no gap");
  return present ? 0 : 1;
}
