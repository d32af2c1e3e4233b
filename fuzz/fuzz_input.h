// Shared by the fuzz targets: the fuzz input as text, and checks that stop
// the run with a message, which libFuzzer reports as a crash and keeps
// the input of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "system/program_error.h"

namespace orvane::fuzz {

// The bytes as they are.
inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Byte pairs, least significant first, as UTF-16 code units (lone and
// reversed surrogates included); an odd last byte is dropped.
inline std::u16string Utf16(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

// Two inputs from one: the first byte, modulo what follows it plus one,
// is the length of the first part; the rest is the second.
inline std::pair<std::string_view, std::string_view> Split(std::string_view bytes) {
  if (bytes.empty()) return {};
  const std::string_view rest = bytes.substr(1);
  const std::size_t cut = static_cast<unsigned char>(bytes[0]) % (rest.size() + 1);
  return {rest.substr(0, cut), rest.substr(cut)};
}

// Aborts with `what` unless `condition` holds.
inline void Expect(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// The number of the ProgramError `call` raises; 0 when it returns. Any
// other exception escapes and ends the run.
template <typename Call>
int ErrorOf(Call&& call) {
  try {
    call();
  } catch (const ProgramError& error) {
    return error.number();
  }
  return 0;
}

}  // namespace orvane::fuzz
