// The texts the program writes into the boot files of drive C. Pure text:
// no file is touched here.
#pragma once

#include <string>

namespace orvane {

// The whole text of a boot.ini file: the common head, then the menu
// "Windows" (the installed Windows first, and default) or "Dos" (the
// legacy boot of drive C first, and default); any other menu gives only
// the head. `SysName` "XP" and "2003" choose the label of the Windows
// entry; any other name leaves it empty. Both comparisons are exact.
// Every line ends with CR LF.
std::u16string GetMenu(const std::u16string& SysMenu, const std::u16string& SysName);

// The one line of CONFIG.SYS: "DEVICE=", the program's folder as DOS reads
// it, "\HIMEM.SYS" (a root such as "C:\" gives "C:\HIMEM.SYS"); no line
// break.
std::u16string ConfigSysText(const std::u16string& program_folder);

}  // namespace orvane
