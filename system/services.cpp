// QorSystem::InstallService and QorSystem::RemoveService.
#include <windows.h>

#include "system/qor_system.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

// The start type asked for: 0 to 4 are the platform's own values, any
// other number asks for a boot start, which the manager refuses for a
// program.
DWORD StartType(std::int32_t service_type) {
  return service_type >= SERVICE_BOOT_START && service_type <= SERVICE_DISABLED
             ? static_cast<DWORD>(service_type)
             : SERVICE_BOOT_START;
}

}  // namespace

Boolean QorSystem::InstallService(std::u16string serviceName, std::int32_t serviceType,
                                  std::u16string servicePath) {
  const DWORD start_type = StartType(serviceType);
  unique_sc_handle manager(OpenSCManagerA(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                          SC_MANAGER_CREATE_SERVICE));
  if (!manager) return kFalse;
  const std::string name = code_page_.ToBytes(serviceName);
  const std::string path = code_page_.ToBytes(servicePath);
  // Named by itself, run as LocalSystem (no account, no password), in no
  // load-order group and depending on nothing.
  unique_sc_handle service(CreateServiceA(
      manager.get(), name.c_str(), /*lpDisplayName=*/name.c_str(), SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, start_type, SERVICE_ERROR_NORMAL, path.c_str(),
      /*lpLoadOrderGroup=*/nullptr, /*lpdwTagId=*/nullptr, /*lpDependencies=*/nullptr,
      /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr));
  return service ? kTrue : kFalse;
}

Boolean QorSystem::RemoveService(const std::u16string& serviceName) {
  unique_sc_handle manager(OpenSCManagerA(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr,
                                          SC_MANAGER_CREATE_SERVICE));
  if (!manager) return kFalse;
  unique_sc_handle service(
      OpenServiceA(manager.get(), code_page_.ToBytes(serviceName).c_str(), SERVICE_ALL_ACCESS));
  if (!service) return kFalse;
  return DeleteService(service.get()) ? kTrue : kFalse;
}

}  // namespace orvane
