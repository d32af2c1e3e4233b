// QorSystem::Encrypt and Decrypt: each code moved by its position.
#include <cstdint>
#include <string>

#include "system/automation.h"
#include "system/qor_system.h"

namespace orvane {

Variant QorSystem::ShiftCodes(const Variant& code, int direction) const {
  // ToText raises 13 for null and objects before anything else is done.
  const std::u16string text = code.ToText();
  if (text.empty()) return Variant();
  std::u16string result;
  result.reserve(text.size());
  std::int32_t position = 0;
  for (const char16_t ch : text) {
    ++position;
    const std::int32_t shifted = CodeOf(ch) + direction * position;
    // Codes below 0x80 are their own character in every code page.
    if (shifted >= 0 && shifted < 0x80) {
      result += static_cast<char16_t>(shifted);
    } else {
      result += code_page_.CodeToChar(shifted);
    }
  }
  return Variant(std::move(result));
}

Variant QorSystem::Decrypt(const Variant& dcode) { return ShiftCodes(dcode, -1); }

Variant QorSystem::Encrypt(const Variant& ecode) { return ShiftCodes(ecode, +1); }

}  // namespace orvane
