#include "app/volume_facts.h"

namespace orvane {

UINT VolumeDriveType(const std::u16string& root) { return PlatformDriveType(root); }

std::u16string VolumeFileSystem(const std::u16string& root) { return PlatformFileSystem(root); }

}  // namespace orvane
