// QorSystem's machine identity: computer name, volume serial, machine code
// and the date-time identifier.
#include <string>

#include "system/qor_system.h"

namespace orvane {

#ifdef _WIN32
std::u16string QorSystem::GetComputer() {
  if (!CachedComputerName.empty()) return CachedComputerName;
  char buffer[100] = {};
  DWORD size = sizeof(buffer);
  GetComputerNameA(buffer, &size);
  // A failed call may leave the size above the buffer (the size it
  // wants): never read beyond the buffer, and stop at the first zero.
  std::size_t length = size < sizeof(buffer) ? size : sizeof(buffer);
  for (std::size_t i = 0; i < length; ++i) {
    if (buffer[i] == 0) {
      length = i;
      break;
    }
  }
  CachedComputerName = code_page_.FromBytes(std::string_view(buffer, length));
  return CachedComputerName;
}

Variant QorSystem::GetDiskSn(const std::u16string& Disk) {
  const std::string root = code_page_.ToBytes(Disk) + ":\\";
  char volume_name[256] = {};
  char file_system[256] = {};
  DWORD serial = 0;
  DWORD component_length = 0;
  DWORD flags = 0;
  // A failed call may still have written the serial: report 0 then.
  if (!GetVolumeInformationA(root.c_str(), volume_name, sizeof(volume_name), &serial,
                             &component_length, &flags, file_system, sizeof(file_system))) {
    serial = 0;
  }
  return Variant::Long(static_cast<std::int32_t>(serial));
}

std::u16string QorSystem::GetSerial() {
  const std::u16string digest = Md5(GetDiskSn(u"C").ToText(), 32);
  std::u16string code = digest.substr(0, 24);
  for (char16_t& ch : code) {
    if (ch >= u'a' && ch <= u'f') ch = static_cast<char16_t>(ch - u'a' + u'A');
  }
  return code;
}
#endif

std::u16string QorSystem::GetID() {
  // One reading for all six fields: separate readings can straddle a
  // second, or midnight, and mix two moments.
  const LocalTime now = clock_();
  std::u16string id;
  for (const int field : {now.year, now.month, now.day, now.hour, now.minute, now.second}) {
    for (const char c : std::to_string(field)) id += static_cast<char16_t>(c);
  }
  return id;
}

}  // namespace orvane
