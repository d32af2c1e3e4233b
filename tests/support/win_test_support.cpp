#include "tests/support/win_test_support.h"

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <vector>

namespace orvane::testing {

std::wstring ExecutableFolder() {
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring folder(path.data(), length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

namespace {

struct WindowSearch {
  DWORD pid;
  const wchar_t* class_name;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  // A window behind a modal box is disabled: the box is the one to find.
  if (pid == search->pid && IsWindowVisible(window) && IsWindowEnabled(window) &&
      HasClass(window, search->class_name)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Polling interval; the deadline is what bounds the wait.
    Sleep(20);
  }
}

HWND FindWindowOf(DWORD pid, const wchar_t* class_name) {
  WindowSearch search{pid, class_name, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(DWORD pid, const wchar_t* class_name, std::chrono::milliseconds timeout) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowOf(pid, class_name)) != nullptr; }, timeout);
  return found;
}

std::wstring ControlText(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return L"<no answer>";
  std::vector<wchar_t> text(length + 1);
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  return std::wstring(text.data(), copied);
}

bool HasClass(HWND window, const wchar_t* class_name) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return lstrcmpiW(name, class_name) == 0;
}

namespace {

// This process's environment with `changes` (NAME=value) applied, as an
// environment block.
std::wstring EnvironmentBlock(const std::vector<std::wstring>& changes) {
  std::map<std::wstring, std::wstring> variables;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
    const std::wstring text(entry);
    const size_t equals = text.find(L'=', 1);  // names like "=C:" start with '='
    if (equals != std::wstring::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  FreeEnvironmentStringsW(strings);
  for (const std::wstring& change : changes) {
    const size_t equals = change.find(L'=');
    variables[change.substr(0, equals)] = change.substr(equals + 1);
  }
  std::wstring block;
  for (const auto& [name, value] : variables) block += name + L"=" + value + L'\0';
  return block + L'\0';
}

}  // namespace

ChildProcess::ChildProcess(const std::wstring& exe, const std::vector<std::wstring>& environment) {
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
  std::wstring command_line = L"\"" + exe + L"\"";
  std::wstring block = EnvironmentBlock(environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                     CREATE_UNICODE_ENVIRONMENT, block.data(), folder.c_str(), &startup, &info)) {
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    pid_ = info.dwProcessId;
  }
}

ChildProcess::~ChildProcess() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
}

std::optional<DWORD> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

BackgroundThread::BackgroundThread(std::function<void()> work) : work_(std::move(work)) {
  thread_.reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
}

BackgroundThread::~BackgroundThread() {
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI BackgroundThread::Run(void* self) {
  static_cast<BackgroundThread*>(self)->work_();
  return 0;
}

namespace {

// A dialog is ready once its thread has set it up: every button it shows
// has its caption.
bool CaptionsSet(HWND dialog) {
  bool any = false;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!HasClass(child, L"Button") || !IsWindowVisible(child)) continue;
    if (ControlText(child).empty()) return false;
    any = true;
  }
  return any;
}

}  // namespace

HWND WaitForReadyDialog(DWORD pid) {
  HWND dialog = WaitForWindow(pid, L"#32770");
  const bool ready =
      dialog && WaitUntil([&] { return CaptionsSet(dialog); }) && WaitUntilIdle(dialog);
  return ready ? dialog : nullptr;
}

void Press(HWND dialog, int button) {
  PostMessageW(dialog, WM_COMMAND, button, 0);
  WaitUntil([&] { return !IsWindow(dialog) || !IsWindowEnabled(dialog); });
}

bool DialogOpenedDuring(const std::function<void()>& call) {
  std::atomic<bool> returned = false;
  std::atomic<bool> opened = false;
  // Marks the call returned, also when it throws, before the watcher is
  // waited for.
  struct OnReturn {
    std::atomic<bool>& returned;
    ~OnReturn() { returned = true; }
  };
  {
    BackgroundThread watch([&] {
      WaitUntil([&] {
        if (HWND dialog = FindWindowOf(GetCurrentProcessId(), L"#32770")) {
          opened = true;
          PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        return returned || opened;
      });
    });
    OnReturn on_return{returned};
    call();
  }
  return opened;
}

std::optional<FileDialogView> AnswerFileDialog(DWORD pid, const std::wstring& path) {
  // The explorer-style file-name box (a ComboBoxEx with this identifier).
  constexpr int kFileNameBox = 0x47C;
  HWND dialog = WaitForReadyDialog(pid);
  if (!dialog) return std::nullopt;
  const FileDialogView view{ControlText(dialog), ControlText(GetDlgItem(dialog, IDOK)),
                            ControlText(GetDlgItem(dialog, kFileNameBox))};
  if (!path.empty()) SetDlgItemTextW(dialog, kFileNameBox, path.c_str());
  Press(dialog, path.empty() ? IDCANCEL : IDOK);
  return view;
}

std::optional<MessageBoxView> AnswerMessageBox(DWORD pid, int button) {
  // Controls of a message box: its text and its icon (0x14 on Windows,
  // 1088 under Wine, which keeps it even when it shows no icon).
  constexpr int kTextControl = 0xFFFF;
  constexpr int kIconControls[] = {0x14, 1088};
  HWND box = WaitForReadyDialog(pid);
  if (!box) return std::nullopt;
  MessageBoxView view;
  view.title = ControlText(box);
  view.text = ControlText(GetDlgItem(box, kTextControl));
  for (int id : kIconControls) {
    DWORD_PTR icon = 0;
    if (HWND control = GetDlgItem(box, id);
        control && IsWindowVisible(control) &&
        SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon))
      view.has_icon = view.has_icon || icon != 0;
  }
  for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
    if (HWND control = GetDlgItem(box, id); control && IsWindowVisible(control))
      view.buttons.push_back(id);
  for (int id : view.buttons)
    if ((GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      view.default_button = id;
  Press(box, button);
  return view;
}

bool WaitUntilIdle(HWND window, std::chrono::milliseconds timeout) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeout.count()),
                             &result) != 0;
}

namespace {

// A visible window with an area its thread has not yet begun to paint
// (BeginPaint empties the update region).
bool Unpainted(HWND window) {
  return IsWindowVisible(window) && GetUpdateRect(window, nullptr, FALSE);
}

BOOL CALLBACK FindUnpainted(HWND child, LPARAM found) {
  if (!Unpainted(child)) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

// `window` or one of its descendants is unpainted.
bool AwaitsPaint(HWND window) {
  bool found = Unpainted(window);
  if (!found) EnumChildWindows(window, FindUnpainted, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

bool WaitUntilPainted(HWND window, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // Only marks the windows: their thread paints them when it next looks
  // for messages, so a busy or hung thread cannot block this one.
  if (!RedrawWindow(window, nullptr, nullptr,
                    RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN))
    return false;
  if (!WaitUntil([&] { return !AwaitsPaint(window); }, timeout)) return false;
  // BeginPaint has run everywhere; the thread answers a sent message only
  // once the WM_PAINT handler it is in has returned.
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return WaitUntilIdle(window, std::max(left, std::chrono::milliseconds(1)));
}

void ProtectFromRestart() {
  // Everybody may do anything with this process but end it.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(D;;0x0001;;;WD)(A;;0x1FFFFF;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
  const DWORD status = SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                                       DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
  LocalFree(descriptor);
  ASSERT_EQ(status, static_cast<DWORD>(ERROR_SUCCESS));
}

void TraceCalls(const std::wstring& relay_include) {
  SetRegistryString(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", L"RelayInclude", relay_include);
}

std::string WineLog() { return ReadFileBytes(L"C:\\wine-stderr.log").value_or(""); }

std::vector<std::string> WineLogLines(DWORD pid, const std::string& text) {
  // With +pid, Wine begins each line with the process's id.
  char prefix[16];
  snprintf(prefix, sizeof(prefix), "%04lx:", pid);
  const std::string log = WineLog();
  std::vector<std::string> lines;
  for (size_t start = 0, end = 0; start < log.size(); start = end + 1) {
    end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.rfind(prefix, 0) == 0 && line.find(text) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  unique_file file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << "cannot create the file, error " << GetLastError();
  DWORD written = 0;
  ASSERT_TRUE(
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

TempFolder::TempFolder(const std::wstring& prefix) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  path_ = temp + prefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(GetTickCount());
  EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr)) << "error " << GetLastError();
}

TempFolder::~TempFolder() {
  // The process's current folder cannot be removed, and a file dialog
  // leaves it where the dialog closed.
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  if (_wcsnicmp(current, path_.c_str(), path_.size()) == 0)
    SetCurrentDirectoryW(ExecutableFolder().c_str());
  std::wstring from = path_ + L'\0';  // a list of paths, ended by an empty one
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationW(&operation);
}

std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& key,
                                               const std::wstring& name) {
  unique_hkey handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.put()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return std::nullopt;
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 1);
  RegQueryValueExW(handle.get(), name.c_str(), nullptr, nullptr,
                   reinterpret_cast<BYTE*>(data.data()), &size);
  return std::wstring(data.data());
}

void SetRegistryString(HKEY root, const std::wstring& key, const std::wstring& name,
                       const std::optional<std::wstring>& value) {
  unique_hkey handle;
  ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.put(),
                            nullptr),
            ERROR_SUCCESS);
  if (!value) {
    RegDeleteValueW(handle.get(), name.c_str());
    return;
  }
  ASSERT_EQ(RegSetValueExW(handle.get(), name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(value->c_str()),
                           static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

std::vector<std::wstring> LoadedModules(DWORD pid) {
  std::vector<std::wstring> names;
  const unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  if (!snapshot) return names;
  MODULEENTRY32W module{};
  module.dwSize = sizeof(module);
  for (BOOL more = Module32FirstW(snapshot.get(), &module); more;
       more = Module32NextW(snapshot.get(), &module)) {
    std::wstring name = module.szModule;
    CharLowerW(name.data());
    names.push_back(name);
  }
  return names;
}

bool TrayHasIcon(HWND window, UINT id) {
  NOTIFYICONDATAW data{};
  data.cbSize = NOTIFYICONDATAW_V1_SIZE;
  data.hWnd = window;
  data.uID = id;
  data.uFlags = 0;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

}  // namespace orvane::testing
