// QorSystem: the system utility class. Operations are declared in the
// class's slot order; text is UTF-16 and crosses every platform call in
// the ANSI code page, through the calls' A forms.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "system/basic_types.h"
#include "system/code_page.h"

namespace orvane {

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
#endif

 private:
#ifdef _WIN32
  // Enables SeShutdownPrivilege in the process token; failures leave the
  // privilege as it was.
  void EnableShutdownPrivilege();
#endif

  CodePage code_page_;
};

}  // namespace orvane
