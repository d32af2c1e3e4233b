#include "app/volume_facts.h"

#include <vector>

namespace orvane {

UINT PlatformDriveType(const std::u16string& root) {
  return GetDriveTypeW(reinterpret_cast<const wchar_t*>(root.c_str()));
}

std::u16string PlatformFileSystem(const std::u16string& root) {
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(reinterpret_cast<const wchar_t*>(root.c_str()), nullptr, 0, nullptr,
                             nullptr, nullptr, name, MAX_PATH + 1)) {
    return u"";
  }
  return reinterpret_cast<const char16_t*>(name);
}

bool VolumeSerial(const std::u16string& root, DWORD* serial) {
  return GetVolumeInformationW(reinterpret_cast<const wchar_t*>(root.c_str()), nullptr, 0, serial,
                               nullptr, nullptr, nullptr, 0);
}

std::u16string ShortPathOf(const std::u16string& path) {
  const auto* long_path = reinterpret_cast<const wchar_t*>(path.c_str());
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetShortPathNameW(long_path, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return u"";
    if (length < buffer.size()) {
      return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
    }
    buffer.resize(length);
  }
}

}  // namespace orvane
