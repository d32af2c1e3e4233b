// The program's volume kinds as a test sets them: ORVANE_TEST_VOLUMES lists
// "letter:file-system[:drive-type]" entries separated by ";", for example
// "Z:FAT32" or "Y:FAT:4" (a network drive). Drives it does not name are
// asked of the platform, as in the real program.
#include <cstdlib>
#include <string>

#include "app/volume_facts.h"

namespace orvane {
namespace {

// The entry for the drive of `root`, without its letter and colon.
std::string EntryFor(const std::u16string& root) {
  const char* list = std::getenv("ORVANE_TEST_VOLUMES");
  if (!list || root.empty()) return {};
  const std::string text = list;
  const char letter = static_cast<char>(root[0] & ~0x20);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    if (end - start > 2 && (text[start] & ~0x20) == letter && text[start + 1] == ':') {
      return text.substr(start + 2, end - start - 2);
    }
    start = end + 1;
  }
  return {};
}

}  // namespace

UINT VolumeDriveType(const std::u16string& root) {
  const std::string entry = EntryFor(root);
  const size_t colon = entry.find(':');
  if (colon != std::string::npos) return static_cast<UINT>(std::atoi(entry.c_str() + colon + 1));
  return PlatformDriveType(root);
}

std::u16string VolumeFileSystem(const std::u16string& root) {
  const std::string entry = EntryFor(root);
  if (!entry.empty()) {
    const std::string name = entry.substr(0, entry.find(':'));
    return std::u16string(name.begin(), name.end());
  }
  return PlatformFileSystem(root);
}

}  // namespace orvane
