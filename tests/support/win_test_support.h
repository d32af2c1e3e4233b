// Test helpers for the Windows builds: processes started and ended for
// the test, windows found by process and class with deadlines, files and
// registry values read by another path than the code under test.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "system/unique_handle.h"

namespace orvane::testing {

using namespace std::chrono_literals;
// How long a window, a dialog or a program's end is waited for. Only a
// failing test waits it out: on a machine busy with other work, a program
// started with the relay log on was once not found within 10 s.
constexpr std::chrono::milliseconds kWindowTimeout = 30s;

// The folder of the running test executable, with a trailing backslash.
std::wstring ExecutableFolder();

// A visible, enabled top-level window of process `pid` with class
// `class_name`, if one exists now. Of a dialog and the box it opened, the
// box is the enabled one.
HWND FindWindowOf(DWORD pid, const wchar_t* class_name);

// A top-level window of process `pid` with class `class_name` (e.g.
// L"#32770" for a dialog or message box), visible, polled until `timeout`.
// Null when none appears in time.
HWND WaitForWindow(DWORD pid, const wchar_t* class_name,
                   std::chrono::milliseconds timeout = kWindowTimeout);

// Polls `condition` until it holds or `timeout` passes; its last result.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kWindowTimeout);

// What a control holds, read with WM_GETTEXT (works across processes).
std::wstring ControlText(HWND control);

// True when `window` is of the window class `class_name` (ignoring case).
bool HasClass(HWND window, const wchar_t* class_name);

// A program started for one test and ended with it.
class ChildProcess {
 public:
  // Starts `exe` with its folder as the current directory, with this
  // process's environment plus `environment` (NAME=value entries that add
  // or replace variables).
  explicit ChildProcess(const std::wstring& exe, const std::vector<std::wstring>& environment = {});
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Ends the program if it still runs.
  ~ChildProcess();

  bool started() const { return static_cast<bool>(process_); }
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return process_.get(); }
  // Waits for the program to end; its exit code, or nothing on time-out.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = kWindowTimeout);

 private:
  unique_handle_t process_;
  DWORD pid_ = 0;
};

// Runs `work` on a thread of its own (a Win32 thread: the i686 build has
// no std::thread) and joins it on destruction.
class BackgroundThread {
 public:
  explicit BackgroundThread(std::function<void()> work);
  BackgroundThread(const BackgroundThread&) = delete;
  BackgroundThread& operator=(const BackgroundThread&) = delete;
  ~BackgroundThread();

 private:
  static DWORD WINAPI Run(void* self);
  std::function<void()> work_;
  unique_handle_t thread_;
};

// A dialog (class #32770) of process `pid` once it is ready to be
// answered: every visible button has its caption and its thread is back
// in the dialog's loop. Null when none is ready in time.
HWND WaitForReadyDialog(DWORD pid);

// Presses `button` of `dialog` (IDOK, IDCANCEL, IDYES, ...), then waits
// until the dialog is gone, or has opened a box of its own and waits for
// that (an overwrite prompt, say).
void Press(HWND dialog, int button);

// Runs `call` on this thread while `answer` runs on a second one, to
// answer the dialog that the call opens and waits in. True when `answer`
// gave a view of the dialog, which then goes into `seen` (when given).
template <typename Answer, typename View = typename std::invoke_result_t<Answer>::value_type>
bool AnswerDuring(Answer answer, const std::function<void()>& call,
                  std::type_identity_t<View>* seen = nullptr) {
  std::optional<View> view;
  {
    BackgroundThread answering([&] { view = answer(); });
    call();
  }
  if (seen && view) *seen = *view;
  return view.has_value();
}

// Runs `call` on this thread while a second one cancels any dialog of this
// process that opens before the call returns (a dialog would keep it
// waiting). True when one opened.
bool DialogOpenedDuring(const std::function<void()>& call);

// What a file dialog showed, read before it was answered.
struct FileDialogView {
  std::wstring title;
  std::wstring ok_button;  // "保存(&S)" for a save dialog, "打开(&O)" for an open one
  std::wstring file_name;  // the file-name box
};

// Waits for a file dialog of process `pid`, records what it shows, then
// types `path` into its file-name box and confirms, or cancels when
// `path` is empty. Nothing when no dialog appears in time.
std::optional<FileDialogView> AnswerFileDialog(DWORD pid, const std::wstring& path);

// What a message box showed.
struct MessageBoxView {
  std::wstring title;
  std::wstring text;
  bool has_icon = false;
  std::vector<int> buttons;  // command identifiers (IDYES, IDNO, IDOK, ...)
  int default_button = 0;
};

// Waits for a message box of `pid` and answers it with `button` (IDYES,
// IDNO, IDOK). Nothing when no box appears in time.
std::optional<MessageBoxView> AnswerMessageBox(DWORD pid, int button);

// Waits until the thread behind `window` has handled everything sent to
// it before, i.e. returned to a message loop. False on time-out.
bool WaitUntilIdle(HWND window, std::chrono::milliseconds timeout = kWindowTimeout);

// Has the window tree of `window` (its frame, its client area and every
// visible descendant) painted anew: invalidates all of it, waits until no
// area of it still waits for WM_PAINT, then until its thread is back in a
// message loop, so the last WM_PAINT has returned. False on time-out.
bool WaitUntilPainted(HWND window, std::chrono::milliseconds timeout = kWindowTimeout);

// Keeps this process alive through a restart requested by a program it
// tests: under Wine a restart ends every process of the prefix it may
// open for termination, and after this call others may not.
void ProtectFromRestart();

// Makes Wine log calls of the listed functions ("dll.Function;...") for
// programs started afterwards with WINEDEBUG=+pid,+relay.
void TraceCalls(const std::wstring& relay_include);

// What Wine wrote to standard error in this test's prefix so far (see
// tools/wine-exec).
std::string WineLog();

// The lines of Wine's log (see WineLog) that process `pid` wrote with
// `text` in them.
std::vector<std::string> WineLogLines(DWORD pid, const std::string& text);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::wstring& path);
// Creates or replaces a file with `bytes`; asserts on failure.
void WriteFileBytes(const std::wstring& path, const std::string& bytes);

// A new folder in the temporary folder, removed with all it holds when
// this goes.
class TempFolder {
 public:
  // Named `prefix`, this process's id and the time.
  explicit TempFolder(const std::wstring& prefix);
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  // Its full path, without a final backslash.
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// A registry string value read with the wide calls; nothing when missing.
std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& key,
                                               const std::wstring& name);
// Sets (or with nothing, deletes) a REG_SZ value, creating the key.
void SetRegistryString(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::optional<std::wstring>& value);

// The file names of the modules (the program, its DLLs) loaded in process
// `pid`, in lower case ("user32.dll"). Empty when they cannot be listed.
std::vector<std::wstring> LoadedModules(DWORD pid);

// True when the taskbar's notification area holds the icon of `window`
// with identifier `id`: the shell accepts a modification of exactly that
// icon (one that changes nothing).
bool TrayHasIcon(HWND window, UINT id);

}  // namespace orvane::testing
