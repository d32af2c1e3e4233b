// InstallService and RemoveService against the service control manager of
// the test's own Wine prefix; registrations are read back with the wide
// calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "system/qor_system.h"
#include "system/unique_handle.h"
#include "tests/support/common_test_support.h"

namespace orvane {
namespace {

struct ServiceConfig {
  DWORD type;
  DWORD start_type;
  DWORD error_control;
  std::wstring binary_path;
  std::wstring display_name;
  std::wstring account;
};

// The registration of `name`, or nothing when the manager has none; the
// error code in `error` then.
std::optional<ServiceConfig> ReadConfig(const std::wstring& name, DWORD* error = nullptr) {
  unique_sc_handle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  unique_sc_handle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
  if (!service) {
    if (error) *error = GetLastError();
    return std::nullopt;
  }
  DWORD size = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (!QueryServiceConfigW(service.get(), config, size, &size)) return std::nullopt;
  auto text = [](const wchar_t* s) { return std::wstring(s ? s : L""); };
  return ServiceConfig{config->dwServiceType,       config->dwStartType,
                       config->dwErrorControl,      text(config->lpBinaryPathName),
                       text(config->lpDisplayName), text(config->lpServiceStartName)};
}

TEST(ServicesTest, InstallsAnAutomaticOwnProcessServiceOnceAndRemovesIt) {
  QorSystem system;
  const std::u16string name = u"Orvane 测试服务";
  const std::wstring wide_name = L"Orvane \u6D4B\u8BD5\u670D\u52A1";
  const std::u16string path = u"\"C:\\Program Files\\Orvane\\服务.exe\" -run";

  EXPECT_EQ(system.InstallService(name, 2, path), kTrue);
  std::optional<ServiceConfig> config = ReadConfig(wide_name);
  ASSERT_TRUE(config);
  EXPECT_EQ(config->type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config->start_type, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config->error_control, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(config->binary_path, L"\"C:\\Program Files\\Orvane\\\u670D\u52A1.exe\" -run");
  EXPECT_EQ(config->display_name, wide_name);
  EXPECT_EQ(config->account, L"LocalSystem");

  // The name is taken: nothing about the service changes.
  EXPECT_EQ(system.InstallService(name, 3, u"C:\\other.exe"), kFalse);
  config = ReadConfig(wide_name);
  ASSERT_TRUE(config);
  EXPECT_EQ(config->start_type, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config->binary_path, L"\"C:\\Program Files\\Orvane\\\u670D\u52A1.exe\" -run");

  // Removed for good: no handle of either call keeps it marked for
  // deletion.
  EXPECT_EQ(system.RemoveService(name), kTrue);
  DWORD error = 0;
  EXPECT_FALSE(ReadConfig(wide_name, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(system.RemoveService(name), kFalse);
  EXPECT_EQ(system.RemoveService(u"OrvaneNoSuchService"), kFalse);
}

TEST(ServicesTest, StartTypeFollowsServiceTypeAndBootStartsAreRefused) {
  QorSystem system;
  for (std::int32_t refused : {0, 1, 5, -1, 0x10002}) {
    const std::u16string name = u"OrvaneRefused" + std::u16string(1, u'A' + (refused & 7));
    EXPECT_EQ(system.InstallService(name, refused, u"C:\\svc.exe"), kFalse) << refused;
    EXPECT_FALSE(ReadConfig(testing::Wide(name))) << refused;
  }
  for (std::int32_t accepted : {3, 4}) {
    const std::u16string name = u"OrvaneStart" + std::u16string(1, u'0' + accepted);
    EXPECT_EQ(system.InstallService(name, accepted, u"C:\\svc.exe"), kTrue) << accepted;
    const std::optional<ServiceConfig> config = ReadConfig(testing::Wide(name));
    ASSERT_TRUE(config) << accepted;
    EXPECT_EQ(config->start_type, static_cast<DWORD>(accepted));
    EXPECT_EQ(system.RemoveService(name), kTrue);
  }
}

}  // namespace
}  // namespace orvane
