#include "app/volume_facts.h"

namespace orvane {

UINT VolumeDriveType(const std::u16string& root) {
  return GetDriveTypeW(reinterpret_cast<const wchar_t*>(root.c_str()));
}

std::u16string VolumeFileSystem(const std::u16string& root) {
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(reinterpret_cast<const wchar_t*>(root.c_str()), nullptr, 0, nullptr,
                             nullptr, nullptr, name, MAX_PATH + 1)) {
    return u"";
  }
  return reinterpret_cast<const char16_t*>(name);
}

}  // namespace orvane
