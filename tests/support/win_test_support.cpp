#include "tests/support/win_test_support.h"

#include <shellapi.h>

#include <gtest/gtest.h>

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
  wchar_t class_name[256] = {};
  GetClassNameW(window, class_name, 256);
  if (pid == search->pid && IsWindowVisible(window) &&
      lstrcmpiW(class_name, search->class_name) == 0) {
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

ChildProcess::ChildProcess(const std::wstring& exe) {
  const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
  std::wstring command_line = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     folder.c_str(), &startup, &info)) {
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

bool TrayHasIcon(HWND window, UINT id) {
  NOTIFYICONDATAW data{};
  data.cbSize = NOTIFYICONDATAW_V1_SIZE;
  data.hWnd = window;
  data.uID = id;
  data.uFlags = 0;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

}  // namespace orvane::testing
