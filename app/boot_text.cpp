#include "app/boot_text.h"

namespace orvane {
namespace {

constexpr char16_t kCrLf[] = u"\r\n";
constexpr char16_t kWindowsPath[] = u"multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS";

std::u16string SystemLabel(const std::u16string& sys_name) {
  if (sys_name == u"XP") return u"Microsoft Windows XP Professional";
  if (sys_name == u"2003") return u"Windows Server 2003, Enterprise";
  return u"";
}

}  // namespace

std::u16string GetMenu(const std::u16string& SysMenu, const std::u16string& SysName) {
  const std::u16string windows_entry =
      std::u16string(kWindowsPath) + u"=\"" + SystemLabel(SysName) + u"\" /fastdetect" + kCrLf;
  const std::u16string dos_entry = std::u16string(u"C:\\=\"Microsoft Windows\"") + kCrLf;

  std::u16string text = std::u16string(u"[boot loader]") + kCrLf + u"timeout = 0" + kCrLf;
  if (SysMenu == u"Windows") {
    text += std::u16string(u"default=") + kWindowsPath + kCrLf;
    text += std::u16string(u"[operating systems]") + kCrLf;
    text += windows_entry + dos_entry;
  } else if (SysMenu == u"Dos") {
    text += std::u16string(u"default=C:\\") + kCrLf;
    text += std::u16string(u"[operating systems]") + kCrLf;
    text += dos_entry + windows_entry;
  }
  return text;
}

std::u16string ConfigSysText(const std::u16string& program_folder) {
  // A drive's root ("C:\\") ends in a backslash already.
  const bool root = !program_folder.empty() && program_folder.back() == u'\\';
  return u"DEVICE=" + program_folder + (root ? u"" : u"\\") + u"HIMEM.SYS";
}

}  // namespace orvane
