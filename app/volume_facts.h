// What the platform says of the volumes the job hands over to DOS.
//
// VolumeDriveType and VolumeFileSystem live in volume_kind.cpp, apart from
// the rest: Wine reports every drive as NTFS, so the tests of a job that
// passes every check link a second build of the program with
// tests/volume_kind_fake.cpp instead.
#pragma once

#include <windows.h>

#include <string>

namespace orvane {

// GetDriveTypeW of a root such as "E:\".
UINT VolumeDriveType(const std::u16string& root);

// The file system's name ("FAT", "FAT32", "NTFS"), empty when the volume
// gives none.
std::u16string VolumeFileSystem(const std::u16string& root);

// What the platform itself reports, whichever of the two above is linked.
UINT PlatformDriveType(const std::u16string& root);
std::u16string PlatformFileSystem(const std::u16string& root);

// The volume serial number; false when the volume gives none.
bool VolumeSerial(const std::u16string& root, DWORD* serial);

// The short (8.3) form of an existing path; empty when the platform has
// none for it.
std::u16string ShortPathOf(const std::u16string& path);

}  // namespace orvane
