// Text in an ANSI code page: conversion of UTF-16 text to the code page's
// bytes and back, and the signed 16-bit character codes the text services
// work on. On Windows the platform's own conversions serve; the native
// build uses iconv with the code page its caller names.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

class CodePage {
 public:
  // `number` is a Windows code page number such as 936. On Windows 0
  // (CP_ACP) means the system's active ANSI code page.
  explicit CodePage(unsigned number);

#ifdef _WIN32
  // The system's active ANSI code page (CP_ACP).
  static CodePage Active() { return CodePage(0); }
#endif

  // The code page number in effect (GetACP() for the active one).
  unsigned number() const;

  // Text to bytes; a character the code page lacks becomes its default
  // character ("?").
  std::string ToBytes(std::u16string_view text) const;

  // Bytes to text; an invalid sequence becomes "?".
  std::u16string FromBytes(std::string_view bytes) const;

  // The character's code: 0 to 255 for a single-byte character; for a
  // double-byte character, lead byte times 256 plus trail byte, read as a
  // signed 16-bit number. Characters below 0x80 are their own code without
  // any conversion.
  std::int16_t CharCode(char16_t ch) const;

  // The one character whose code is `code` (the inverse of CharCode).
  // Throws ProgramError 5 when `code` is no character of the code page:
  // above 255 on a single-byte page, a lone lead byte, a byte pair that is
  // not one double-byte character, or outside -32768..65535.
  std::u16string CodeToChar(std::int32_t code) const;

 private:
  // Bytes to text, or nothing when the bytes are not a valid sequence.
  std::optional<std::u16string> FromBytesStrict(std::string_view bytes) const;

  struct Converter;
  std::shared_ptr<Converter> converter_;
};

}  // namespace orvane
