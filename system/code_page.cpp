// The platform-neutral half of CodePage; the conversions themselves are in
// code_page_win.cpp and code_page_iconv.cpp.
#include "system/code_page.h"

#include "system/program_error.h"

namespace orvane {

std::int16_t CodePage::CharCode(char16_t ch) const {
  if (ch < 0x80) return static_cast<std::int16_t>(ch);
  const std::string bytes = ToBytes(std::u16string_view(&ch, 1));
  if (bytes.size() == 1) return static_cast<std::int16_t>(static_cast<unsigned char>(bytes[0]));
  const unsigned lead = static_cast<unsigned char>(bytes[0]);
  const unsigned trail = static_cast<unsigned char>(bytes[1]);
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(lead << 8 | trail));
}

std::u16string CodePage::CodeToChar(std::int32_t code) const {
  if (code < -32768 || code > 65535) throw ProgramError(ErrorNumber::kInvalidArgument);
  if (code >= 0 && code < 0x80) return std::u16string(1, static_cast<char16_t>(code));
  const auto pattern = static_cast<std::uint16_t>(code);
  std::string bytes;
  if (pattern > 0xFF) bytes.push_back(static_cast<char>(pattern >> 8));
  bytes.push_back(static_cast<char>(pattern & 0xFF));
  const std::optional<std::u16string> text = FromBytesStrict(bytes);
  // One character, which may be a surrogate pair.
  const bool one_character =
      text &&
      (text->size() == 1 || (text->size() == 2 && (*text)[0] >= 0xD800 && (*text)[0] <= 0xDBFF));
  if (!one_character) throw ProgramError(ErrorNumber::kInvalidArgument);
  return *text;
}

}  // namespace orvane
