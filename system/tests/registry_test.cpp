// ReadReg and WriteReg against the real registry, each test in an HKCU
// subtree of its own that is deleted afterwards, and the view of
// HKLM\SOFTWARE each build writes.
#include <windows.h>

#include <sddl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "system/qor_system.h"
#include "tests/support/common_test_support.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::ReadRegistryString;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name =
        std::string(info->name()) + "_" + std::to_string(GetCurrentProcessId());
    key_ = u"Software\\OrvaneTests\\" + std::u16string(name.begin(), name.end());
    wide_key_ = testing::Wide(key_);
  }
  void TearDown() override { SHDeleteKeyW(HKEY_CURRENT_USER, wide_key_.c_str()); }

  // The test key, made when missing.
  unique_hkey TestKey() {
    unique_hkey key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, wide_key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    return key;
  }
  // Stores raw data under the test key with the wide or byte calls.
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(TestKey().get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  void SetAnsi(const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(
        RegSetValueExA(TestKey().get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size())),
        ERROR_SUCCESS);
  }
  // Replaces the test key's access list; the owner may always do so.
  void SetKeyDacl(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    unique_hkey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, wide_key_.c_str(), 0, WRITE_DAC, key.put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    LocalFree(descriptor);
  }
  std::u16string Read(const std::u16string& name) {
    return system_.ReadReg(kHkeyCurrentUser, key_, name);
  }

  QorSystem system_;
  std::u16string key_;
  std::wstring wide_key_;
};

TEST_F(RegistryTest, MissingKeyMissingValueAndEmptyValueAllReadEmpty) {
  EXPECT_EQ(Read(u"Anything"), u"");
  SetAnsi("Empty", REG_SZ, std::string("\0", 1));
  EXPECT_EQ(Read(u"Missing"), u"");
  EXPECT_EQ(Read(u"Empty"), u"");
}

TEST_F(RegistryTest, StringOf1023CharactersFitsAndLongerDataDoesNot) {
  const std::string fits(1023, 'a');
  SetAnsi("Fits", REG_SZ, fits + '\0');
  EXPECT_EQ(Read(u"Fits"), std::u16string(1023, u'a'));
  SetAnsi("TooLong", REG_SZ, std::string(1024, 'b') + '\0');  // 1025 bytes
  EXPECT_EQ(Read(u"TooLong"), u"");
}

TEST_F(RegistryTest, TypesOtherThanStringsAndDwordReadEmpty) {
  SetAnsi("Expand", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 16));
  EXPECT_EQ(Read(u"Expand"), u"%SystemRoot%\\x");  // not expanded
  SetAnsi("Binary", REG_BINARY, "abc");
  SetAnsi("Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
  EXPECT_EQ(Read(u"Binary"), u"");
  EXPECT_EQ(Read(u"Multi"), u"");
}

TEST_F(RegistryTest, StringStopsAtItsFirstZeroByte) {
  SetAnsi("Zero", REG_SZ, std::string("abc\0def\0", 8));
  EXPECT_EQ(Read(u"Zero"), u"abc");
}

TEST_F(RegistryTest, DwordReadsAsFourHexBytesMostSignificantFirst) {
  const DWORD small = 0x1A;
  SetRaw(L"Small", REG_DWORD, &small, sizeof(small));
  EXPECT_EQ(Read(u"Small"), u"&h0000001A");
  const DWORD large = 0x8000F00B;
  SetRaw(L"Large", REG_DWORD, &large, sizeof(large));
  EXPECT_EQ(Read(u"Large"), u"&h8000F00B");
}

TEST_F(RegistryTest, ChineseNamesAndDataCrossInTheAnsiCodePage) {
  std::u16string folder = u"E:\\备份\\";
  EXPECT_EQ(system_.WriteReg(kHkeyCurrentUser, key_, u"路经", folder), kTrue);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, wide_key_, L"\u8DEF\u7ECF"),
            L"E:\\\u5907\u4EFD\\");
  EXPECT_EQ(Read(u"路经"), u"E:\\备份\\");
}

TEST_F(RegistryTest, WriteCreatesEveryMissingLevel) {
  std::u16string value = u"v";
  const std::u16string deep = key_ + u"\\one\\two\\three";
  EXPECT_EQ(system_.WriteReg(kHkeyCurrentUser, deep, u"Name", value), kTrue);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, wide_key_ + L"\\one\\two\\three", L"Name"), L"v");
  EXPECT_EQ(value, u"v");
}

TEST_F(RegistryTest, EmptyValueIsStoredAsOneSpaceAndTheCallerSeesIt) {
  std::u16string value;
  EXPECT_EQ(system_.WriteReg(kHkeyCurrentUser, key_, u"Blank", value), kTrue);
  EXPECT_EQ(value, u" ");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, wide_key_, L"Blank"), L" ");
  EXPECT_EQ(Read(u"Blank"), u" ");
}

TEST_F(RegistryTest, WriteToAnInvalidRootFailsAndChangesNothing) {
  for (std::int32_t root : {0, 0x12345678, -1}) {
    std::u16string value;
    EXPECT_EQ(system_.WriteReg(root, key_, u"Name", value), kFalse) << root;
    EXPECT_EQ(value, u"") << "the space replaces an empty value only once the key is open";
  }
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, wide_key_, L"Name"), std::nullopt);
}

TEST_F(RegistryTest, ReadNeedsOnlyReadAccess) {
  // A key everybody may read but nobody may write, like HKLM for a limited
  // account.
  std::u16string value = u"readable";
  ASSERT_EQ(system_.WriteReg(kHkeyCurrentUser, key_, u"Name", value), kTrue);
  ASSERT_NO_FATAL_FAILURE(SetKeyDacl(L"D:P(A;;KR;;;WD)"));
  unique_hkey probe;
  const LONG write_status =
      RegOpenKeyExW(HKEY_CURRENT_USER, wide_key_.c_str(), 0, KEY_SET_VALUE, probe.put());
  if (write_status == ERROR_SUCCESS) {
    GTEST_SKIP() << "this registry does not enforce key ACLs";
  }
  EXPECT_EQ(Read(u"Name"), u"readable");
  SetKeyDacl(L"D:P(A;;KA;;;WD)");  // so that TearDown can delete the key
}

// The value under `key` of HKLM in one registry view (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY); nothing when missing.
std::optional<std::wstring> ReadInView(const std::wstring& key, REGSAM view) {
  unique_hkey opened;
  wchar_t data[64] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, opened.put()) !=
          ERROR_SUCCESS ||
      RegQueryValueExW(opened.get(), L"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                       &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(data);
}

// Where a value written under HKLM\SOFTWARE lands. The XP release is a
// 32-bit program on a 32-bit system: there is one view and no
// SOFTWARE\Wow6432Node, so it reads and writes the keys every other program
// of the machine uses (the product name among them). The 64-bit build writes
// the 64-bit view, which 32-bit programs of the same machine do not see.
TEST(RegistryViewTest, HklmSoftwareIsTheViewOfTheBuildsOwnSystem) {
  const std::string pid = std::to_string(GetCurrentProcessId());
  const std::u16string key =
      u"SOFTWARE\\OrvaneTests\\View_" + std::u16string(pid.begin(), pid.end());
  const std::wstring wide_key = testing::Wide(key);
  QorSystem system;
  std::u16string value = u"written";
  ASSERT_EQ(system.WriteReg(kHkeyLocalMachine, key, u"Name", value), kTrue);
#ifdef _WIN64
  EXPECT_EQ(ReadInView(wide_key, KEY_WOW64_64KEY), L"written");
  EXPECT_EQ(ReadInView(wide_key, KEY_WOW64_32KEY), std::nullopt);
#else
  // The XP release's tests run in a 32-bit prefix set to Windows XP
  // (tools/wine-exec).
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_TRUE(GetVersionExW(&version));
  EXPECT_EQ(version.dwMajorVersion * 10 + version.dwMinorVersion, 51u);
  BOOL wow64 = TRUE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
  unique_hkey redirected;
  EXPECT_NE(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node", 0, KEY_READ, redirected.put()),
      ERROR_SUCCESS);
  // A 32-bit system ignores the view flags.
  EXPECT_EQ(ReadInView(wide_key, KEY_WOW64_64KEY), L"written");
  EXPECT_EQ(ReadInView(wide_key, KEY_WOW64_32KEY), L"written");
#endif
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, wide_key.c_str());
  SHDeleteEmptyKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvaneTests");
}

}  // namespace
}  // namespace orvane
