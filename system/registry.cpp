// QorSystem::ReadReg and QorSystem::WriteReg.
#include <windows.h>

#include <array>
#include <cstring>

#include "system/qor_system.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

constexpr DWORD kReadRegBufferSize = 1024;
// STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY
// | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK.
constexpr REGSAM kWriteRegAccess = 0x2003F;

// The predefined key for a root number; 32-bit numbers sign-extend, as the
// platform defines HKEY_LOCAL_MACHINE and the others on 64-bit Windows.
HKEY RootKey(std::int32_t key_root) {
  return reinterpret_cast<HKEY>(static_cast<INT_PTR>(key_root));
}

}  // namespace

std::u16string QorSystem::ReadReg(std::int32_t KeyRoot, const std::u16string& KeyName,
                                  const std::u16string& SubKeyRef) {
  unique_hkey key;
  // Read access is all this needs; asking for more fails where only
  // reading is allowed.
  if (RegOpenKeyExA(RootKey(KeyRoot), code_page_.ToBytes(KeyName).c_str(), /*ulOptions=*/0,
                    KEY_READ, key.put()) != ERROR_SUCCESS)
    return u"";

  std::array<BYTE, kReadRegBufferSize> data{};
  DWORD size = kReadRegBufferSize;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key.get(), code_page_.ToBytes(SubKeyRef).c_str(), /*lpReserved=*/nullptr,
                       &type, data.data(), &size) != ERROR_SUCCESS)
    return u"";

  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      const auto* text = reinterpret_cast<const char*>(data.data());
      return code_page_.FromBytes(std::string_view(text, strnlen(text, data.size())));
    }
    case REG_DWORD: {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      std::u16string hex = u"&h";
      for (int i = 3; i >= 0; --i) {
        hex += static_cast<char16_t>(kDigits[data[i] >> 4]);
        hex += static_cast<char16_t>(kDigits[data[i] & 0xF]);
      }
      return hex;
    }
    default:
      return u"";
  }
}

Boolean QorSystem::WriteReg(std::int32_t KeyRoot, const std::u16string& KeyName,
                            const std::u16string& SubKeyName, std::u16string& SubKeyValue) {
  SECURITY_ATTRIBUTES security{};
  security.nLength = sizeof(security);
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = TRUE;
  char key_class[] = "1";
  unique_hkey key;
  DWORD disposition = 0;
  if (RegCreateKeyExA(RootKey(KeyRoot), code_page_.ToBytes(KeyName).c_str(), /*Reserved=*/0,
                      key_class, REG_OPTION_NON_VOLATILE, kWriteRegAccess, &security, key.put(),
                      &disposition) != ERROR_SUCCESS)
    return kFalse;

  if (SubKeyValue.empty()) SubKeyValue = u" ";
  const std::string data = code_page_.ToBytes(SubKeyValue);
  const LONG status =
      RegSetValueExA(key.get(), code_page_.ToBytes(SubKeyName).c_str(),
                     /*Reserved=*/0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + 1));
  return status == ERROR_SUCCESS ? kTrue : kFalse;
}

}  // namespace orvane
