// Times the start-up of two programs, alternating between them: from just
// before CreateProcess to the moment a visible top-level window of the new
// process's first thread exists. Each program is then closed (WM_CLOSE, or
// ended when it does not go in time) before the next one starts. The order
// changes from run to run (A B, B A, A B, ...): on a busy machine the first
// of two starts was seen to take 5 to 10% longer than the second, which
// would otherwise count against A.
//
//   orvane_startup_timer.exe A.exe B.exe [runs]
//
// Prints every run in milliseconds, then the median of each program and
// the ratio of the medians, A / B. Exits 1 when a program fails to show a
// window in time.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "system/unique_handle.h"

namespace {

using orvane::unique_handle_t;

constexpr DWORD kWindowDeadlineMs = 10000;
constexpr DWORD kExitDeadlineMs = 5000;

BOOL CALLBACK MatchVisibleWindow(HWND window, LPARAM lParam) {
  if (!IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(lParam) = window;
  return FALSE;
}

double Milliseconds(LONGLONG ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// One start of `exe`: the milliseconds until its window was visible, or
// nothing when it did not start or show a window before the deadline.
std::optional<double> TimeStartUp(const std::wstring& exe) {
  std::wstring command_line = L"\"" + exe + L"\"";
  const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};

  const LONGLONG start = Now();
  if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    std::fwprintf(stderr, L"startup_timer: cannot start %ls (error %lu)\n", exe.c_str(),
                  GetLastError());
    return std::nullopt;
  }
  unique_handle_t process(info.hProcess);
  unique_handle_t thread(info.hThread);

  HWND found = nullptr;
  std::optional<double> elapsed;
  for (;;) {
    // Only the windows of the program's first thread, which makes its main
    // window: one request to Wine's server a poll, where EnumWindows and a
    // look at each window's process took a dozen and slowed the start-up
    // it measured.
    EnumThreadWindows(info.dwThreadId, MatchVisibleWindow, reinterpret_cast<LPARAM>(&found));
    const double ms = Milliseconds(Now() - start);
    if (found) {
      elapsed = ms;
      break;
    }
    if (ms > kWindowDeadlineMs) {
      std::fwprintf(stderr, L"startup_timer: %ls showed no window in %lu ms\n", exe.c_str(),
                    kWindowDeadlineMs);
      break;
    }
    // Polls every millisecond; returns at once when the program ends.
    if (WaitForSingleObject(process.get(), 1) == WAIT_OBJECT_0) {
      std::fwprintf(stderr, L"startup_timer: %ls ended without a window\n", exe.c_str());
      break;
    }
  }

  if (found) PostMessageW(found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.get(), kExitDeadlineMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), kExitDeadlineMs);
  }
  return elapsed;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

const wchar_t* FileName(const std::wstring& path) {
  return path.c_str() + path.find_last_of(L"\\/") + 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || argc > 4) {
    std::fwprintf(stderr, L"usage: orvane_startup_timer A.exe B.exe [runs]\n");
    return 2;
  }
  const std::wstring programs[2] = {argv[1], argv[2]};
  const int runs = argc == 4 ? _wtoi(argv[3]) : 11;
  if (runs < 1) return 2;

  // One uncounted start of each: the files in the page cache, Wine's
  // per-program set-up done, as for a program started before.
  for (const std::wstring& program : programs)
    if (!TimeStartUp(program)) return 1;

  std::vector<double> times[2];
  std::wprintf(L"run %14ls %14ls   (ms from CreateProcess to a visible window)\n",
               FileName(programs[0]), FileName(programs[1]));
  for (int run = 1; run <= runs; ++run) {
    double row[2];
    const int order[2] = {run % 2 ? 0 : 1, run % 2 ? 1 : 0};
    for (int i : order) {
      const std::optional<double> ms = TimeStartUp(programs[i]);
      if (!ms) return 1;
      times[i].push_back(row[i] = *ms);
    }
    std::wprintf(L"%3d %14.1f %14.1f\n", run, row[0], row[1]);
  }
  const double a = Median(times[0]);
  const double b = Median(times[1]);
  std::wprintf(L"median %11.1f %14.1f\nratio %.3f\n", a, b, a / b);
  return 0;
}
