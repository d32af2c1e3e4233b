// QorSystem::Rest and the shutdown privilege it needs.
#include <windows.h>

#include "system/qor_system.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

constexpr UINT kForcedReboot = EWX_SHUTDOWN | EWX_REBOOT | EWX_FORCE;  // 7
constexpr DWORD kRestartReason = 0xFFFFFFFF;

// One privilege entry: count, LUID, attributes.
static_assert(sizeof(TOKEN_PRIVILEGES) == 16);

}  // namespace

void QorSystem::Rest() {
  EnableShutdownPrivilege();
  ExitWindowsEx(kForcedReboot, kRestartReason);
}

void QorSystem::EnableShutdownPrivilege() {
  unique_handle_t token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put());

  TOKEN_PRIVILEGES request{};
  LookupPrivilegeValueA(/*lpSystemName=*/nullptr, "SeShutdownPrivilege",
                        &request.Privileges[0].Luid);
  request.PrivilegeCount = 1;
  request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;

  TOKEN_PRIVILEGES previous{};
  DWORD previous_length = 0;
  AdjustTokenPrivileges(token.get(), /*DisableAllPrivileges=*/FALSE, &request, sizeof(request),
                        &previous, &previous_length);
}

}  // namespace orvane
