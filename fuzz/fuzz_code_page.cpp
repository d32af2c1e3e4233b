// CodePage 936: conversions of any bytes and any UTF-16 text, and the
// character codes, against each other.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_input.h"
#include "system/code_page.h"

namespace {

using orvane::fuzz::ErrorOf;
using orvane::fuzz::Expect;

const orvane::CodePage& Gbk() {
  static const orvane::CodePage code_page(936);
  return code_page;
}

// FromBytes: characters that came through have codes that give them
// back; bytes without a replaced sequence convert back unchanged.
void CheckBytes(std::string_view bytes) {
  const std::u16string text = Gbk().FromBytes(bytes);
  std::size_t marks = 0;
  for (const char16_t ch : text) {
    if (ch == u'?') {
      ++marks;
      continue;
    }
    Expect(Gbk().CodeToChar(Gbk().CharCode(ch)) == std::u16string(1, ch),
           "CodeToChar(CharCode(ch)) is ch for a character FromBytes gives");
  }
  // "?" is no part of any double-byte character of the page, so equal
  // counts mean nothing was replaced.
  if (marks == static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '?'))) {
    Expect(Gbk().ToBytes(text) == bytes, "valid bytes convert back unchanged");
  }
}

// ToBytes of one code unit: one or two bytes (CharCode reads no more), and
// a character that converts back has a code that gives it back.
void CheckCharacter(char16_t ch) {
  const std::string bytes = Gbk().ToBytes(std::u16string_view(&ch, 1));
  Expect(bytes.size() == 1 || bytes.size() == 2, "a character is one or two bytes");
  if (Gbk().FromBytes(bytes) == std::u16string(1, ch)) {
    Expect(Gbk().CodeToChar(Gbk().CharCode(ch)) == std::u16string(1, ch),
           "CodeToChar(CharCode(ch)) is ch for a character of the page");
  }
}

// CodeToChar of any number: error 5, or one character whose code is the
// number as a signed 16-bit one.
void CheckCode(std::int32_t code) {
  std::u16string text;
  const int error = ErrorOf([&] { text = Gbk().CodeToChar(code); });
  if (code < -32768 || code > 65535) {
    Expect(error == 5, "CodeToChar refuses codes outside -32768..65535");
    return;
  }
  if (code >= 0 && code < 0x80) {
    Expect(error == 0 && text == std::u16string(1, static_cast<char16_t>(code)),
           "codes below 0x80 are their own character");
    return;
  }
  if (error != 0) {
    Expect(error == 5, "CodeToChar raises nothing but error 5");
    return;
  }
  Expect(text.size() == 1, "CodeToChar gives one character");
  Expect(Gbk().CharCode(text[0]) == static_cast<std::int16_t>(code),
         "CharCode(CodeToChar(code)) is the code as a signed 16-bit number");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = orvane::fuzz::Bytes(data, size);
  CheckBytes(bytes);

  const std::u16string text = orvane::fuzz::Utf16(bytes);
  const std::string converted = Gbk().ToBytes(text);
  Expect(Gbk().FromBytes(converted).size() <= text.size(),
         "ToBytes gives at most one character per code unit");
  for (const char16_t ch : text) CheckCharacter(ch);

  // Every four bytes are also a number for CodeToChar, and the first
  // two a 16-bit code read both ways.
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    std::int32_t code;
    std::memcpy(&code, data + i, sizeof code);
    CheckCode(code);
  }
  if (size >= 2) {
    std::uint16_t pattern;
    std::memcpy(&pattern, data, sizeof pattern);
    CheckCode(pattern);
    CheckCode(static_cast<std::int16_t>(pattern));
  }
  return 0;
}
