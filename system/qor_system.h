// QorSystem: the system utility class. Operations are declared in the
// class's slot order; text is UTF-16 and crosses every platform call in
// the ANSI code page, through the calls' A forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "system/automation.h"
#include "system/basic_types.h"
#include "system/code_page.h"
#include "system/local_clock.h"

#ifdef _WIN32
#include <windows.h>
// winnt.h names a macro after one of the class's private routines.
#undef RotateLeft32

#include "system/form.h"
#endif

namespace orvane {

#ifdef _WIN32
// The taskbar notification-area record in the short ANSI NOTIFYICONDATA
// layout (the Windows 95 fields): 88 bytes on 32-bit Windows, 104 on
// 64-bit.
struct TrayIconRecord {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  CHAR szTip[64];
};
#endif

class QorSystem {
 public:
#ifdef _WIN32
  // Works in the system's active ANSI code page.
  QorSystem() : QorSystem(CodePage::Active()) {}
#endif
  explicit QorSystem(CodePage code_page) : code_page_(std::move(code_page)) {}

#ifdef _WIN32
  // Restarts Windows at once, closing applications without asking them:
  // enables the shutdown privilege of this process, then asks for a forced
  // reboot. Returns as soon as the request is made; reports nothing, also
  // when the restart is refused.
  void Rest();

  // Stores `SubKeyValue` as the REG_SZ value `SubKeyName` of `KeyName`
  // under the predefined root `KeyRoot`, creating every missing level of
  // the key. Once the key is open, an empty `SubKeyValue` is replaced by
  // " " in the caller's variable and stored so. True when the value was
  // stored; false when the key cannot be created or the value not set.
  Boolean WriteReg(std::int32_t KeyRoot, const std::u16string& KeyName,
                   const std::u16string& SubKeyName, std::u16string& SubKeyValue);

  // The value `SubKeyRef` of `KeyName` under `KeyRoot`: REG_SZ and
  // REG_EXPAND_SZ as stored (unexpanded, up to the first zero byte),
  // REG_DWORD as "&h" and eight upper-case hexadecimal digits. Empty text
  // for a missing key or value, data over 1024 bytes and other types.
  std::u16string ReadReg(std::int32_t KeyRoot, const std::u16string& KeyName,
                         const std::u16string& SubKeyRef);

  // `State` true adds an icon to the taskbar's notification area: its
  // window is `Menu`'s "hwnd" (which then gets message 0x200 for mouse
  // activity over the icon), its identifier and picture the "Handle" of
  // `Icon`'s "Icon" picture, its tip `Title` (cut to 64 bytes in the ANSI
  // code page). `State` false removes the icon added last, whatever the
  // other arguments are; any other value does nothing. A missing property
  // raises ProgramError 438, leaving the fields filled before it; shell
  // failures go unreported.
  void Tray(Boolean State, LateBoundObject& Menu, LateBoundObject& Icon,
            const std::u16string& Title);

  // Cuts `TheForm`'s window to a rectangle of its outer size (Width and
  // Height in twips, converted at the screen's resolution and rounded
  // halves to even) whose corners are rounded by an ellipse `Pixels`
  // wide and high; 0 keeps them square. A size beyond the 32-bit range
  // raises ProgramError 6.
  void DoSkin(const Form& TheForm, std::int32_t Pixels);

  // `State` true keeps `From`'s window above all non-topmost windows,
  // false returns it to normal stacking; both activate it. Any other value
  // does nothing.
  void TopFrom(const Form& From, Boolean State);

  // Lets the user drag `From`'s window with the mouse as if by its title
  // bar: call it while the left button is held down. Returns when the
  // button is released.
  void MoveFrom(const Form& From);

  // The notification-area record that Tray keeps between calls, for tests.
  const TrayIconRecord& tray_icon() const { return TrayIcon.record; }
#endif

  // The MD5 digest (RFC 1321) of `Messenger`, in lower-case hexadecimal:
  // all 32 digits for `Stype` 32, the middle 16 for `Stype` 16, the empty
  // text for any other value. Each character is one message byte, its code
  // in the code page: a double-byte character's signed 16-bit code is
  // OR-ed in at the character's byte position, so its lead byte and the
  // sign bits above it fall over the bytes that follow in the same word.
  // Text of single-byte characters gives the standard digest.
  std::u16string Md5(const std::u16string& Messenger, const std::int32_t& Stype);

  // Shifts each printable ASCII character (codes 32 to 126) of `from_text`
  // within those 95 codes by an offset from the process's generator, reset
  // and then seeded from `Password`; every other character is dropped.
  // A password or text of 32,767 characters or more raises ProgramError 6,
  // as does a password character whose weighted code leaves 32 bits.
  std::u16string Cipher(std::u16string Password, std::u16string from_text);
  // The inverse of Cipher under the same password.
  std::u16string Decipher(std::u16string Password, std::u16string from_text);

#ifdef _WIN32
  // The computer's NetBIOS name, read once per instance and cached.
  std::u16string GetComputer();
  // The serial number of the volume `Disk` (a drive letter without colon)
  // as a signed 32-bit integer; 0 when it cannot be read.
  Variant GetDiskSn(const std::u16string& Disk);
#endif

  // Moves each character's code down by its 1-based position: the inverse
  // of Encrypt. An empty argument gives the empty value. A shifted code
  // that is no character of the code page (negative, above 255 on a
  // single-byte page, a lone lead byte) raises ProgramError 5; an
  // argument without a text form (null, an object) raises 13.
  Variant Decrypt(const Variant& dcode);
  // Moves each character's code up by its 1-based position; as Decrypt
  // otherwise.
  Variant Encrypt(const Variant& ecode);

#ifdef _WIN32
  // The machine code: the first 24 digits, upper case, of the MD5 of the
  // decimal text of drive C's serial ("0" when unreadable).
  std::u16string GetSerial();
#endif
  // Year, month, day, hour, minute and second in decimal without leading
  // zeros or separators, from one reading of the clock: 9 to 14 digits.
  std::u16string GetID();
  // Replaces the local clock GetID reads, for tests.
  void set_clock(std::function<LocalTime()> clock) { clock_ = std::move(clock); }

  // The code page the text services work in, for tests.
  const CodePage& code_page_for_testing() const { return code_page_; }

#ifdef _WIN32
  // Registers `serviceName` (also its display name) as an own-process
  // service run as LocalSystem from the command line `servicePath`.
  // `serviceType` 0 to 4 is the start type (2 automatic, 3 on demand,
  // 4 disabled; 0 and 1 are refused for programs); any other value asks
  // for 0. True when the service was created; false for every failure
  // (no rights, name in use, refused start type).
  Boolean InstallService(std::u16string serviceName, std::int32_t serviceType,
                         std::u16string servicePath);

  // Deletes the service `serviceName`; true when it is marked for
  // deletion (a running one goes once it stops), false for every failure.
  Boolean RemoveService(const std::u16string& serviceName);

  // Creates or overwrites the machine-wide SQL Server data source
  // `DSNName` under HKEY_LOCAL_MACHINE\SOFTWARE\ODBC\ODBC.INI through
  // WriteReg: Title, Server ("(local)" when empty), User, Pass and
  // Database, the driver in C:\WINDOWS or else C:\Winnt, and a trusted
  // connection. An empty Title, User, Pass or Database is stored as " "
  // and left so in the caller's variable. Failed writes go unreported;
  // the result is always empty. An empty `DSNName` or one holding a
  // backslash raises ProgramError 5 before anything is written.
  Variant SetODBC(const std::u16string& DSNName, std::u16string& Title,
                  const std::u16string& Server, std::u16string& User, std::u16string& Pass,
                  std::u16string& Database);
  // Points SetODBC's look-up of C:\WINDOWS\system32 at another folder,
  // for tests: every test machine has that one.
  void set_odbc_system_folder_for_testing(std::u16string folder) {
    odbc_system_folder_ = std::move(folder);
  }
#endif

 private:
  friend struct QorSystemPrivateAccess;

  // The 32-bit word operations of Md5, on words held as signed 32-bit
  // patterns. The shifts raise ProgramError 6 for a count outside 0 to 31.
  std::int32_t ShiftLeft32(std::int32_t value, std::int32_t bits) const;
  std::int32_t ShiftRight32(std::int32_t value, std::int32_t bits) const;
  std::int32_t RotateLeft32(std::int32_t value, std::int32_t bits) const;
  std::int32_t WrapAdd32(std::int32_t x, std::int32_t y) const;
  // ORs the code of each of `length` characters into `words` at its byte
  // position: character p at bits 8 * (p % 4) of words[p / 4], where a
  // double-byte code's sign bits cover the bytes above it in that word.
  void FoldCodes(const char16_t* text, std::size_t length, std::int32_t* words) const;
  // The padded words of a message's last `length` characters (fewer than
  // 64 for Md5's tail, the whole text for TextToWords) into `words`, which
  // holds ((length + 8) / 64 + 1) * 16 zeros: the codes, then the byte
  // 0x80, and the length in bits of the message of `count` characters in
  // the last two words.
  void TailWords(const char16_t* text, std::size_t length, std::int32_t count,
                 std::int32_t* words) const;
  // The padded message words: a whole number of 16-word blocks.
  std::vector<std::int32_t> TextToWords(const std::u16string& text) const;
  // The word's four bytes, least significant first, as upper-case digits.
  std::u16string WordToHexLE(std::int32_t word) const;
  // The number Cipher and Decipher seed the generator with.
  std::int32_t PasswordSeed(std::u16string password) const;
  // A character's code in the code page; below 0x80 without conversion.
  std::int32_t CodeOf(char16_t ch) const;
  // Cipher's loop: `direction` +1 enciphers, -1 deciphers.
  std::u16string Shift(const std::u16string& password, const std::u16string& text,
                       int direction) const;
  // Encrypt's loop: `direction` +1 encrypts, -1 decrypts.
  Variant ShiftCodes(const Variant& code, int direction) const;

#ifdef _WIN32
  // Enables SeShutdownPrivilege in the process token; failures leave the
  // privilege as it was.
  void EnableShutdownPrivilege();
#endif

  CodePage code_page_;
  std::function<LocalTime()> clock_ = ReadLocalClock;
#ifdef _WIN32
  std::u16string CachedComputerName;
#endif
#ifdef _WIN32
  // The record followed by a zero byte: a tip cut to the full 64 bytes
  // has no terminator of its own, and a reader that ignores the field's
  // bound stops there instead of running into the next member.
  struct TerminatedTrayIcon {
    TrayIconRecord record{};
    char terminator = 0;
  };
  TerminatedTrayIcon TrayIcon;
  std::u16string odbc_system_folder_ = u"C:\\WINDOWS\\system32";
#endif
};

}  // namespace orvane
