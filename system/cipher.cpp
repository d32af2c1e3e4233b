// QorSystem::Cipher, Decipher and the password number they seed with.
#include <cmath>
#include <cstdint>
#include <string>

#include "system/basic_random.h"
#include "system/program_error.h"
#include "system/qor_system.h"

namespace orvane {
namespace {

// Lengths and the character index are signed 16-bit numbers.
constexpr std::size_t kLengthLimit = 32767;

}  // namespace

std::int32_t QorSystem::CodeOf(char16_t ch) const {
  return ch < 0x80 ? std::int32_t{ch} : std::int32_t{code_page_.CharCode(ch)};
}

std::int32_t QorSystem::PasswordSeed(std::u16string password) const {
  if (password.size() >= kLengthLimit) throw ProgramError(ErrorNumber::kOverflow);
  std::int32_t value = 0;
  int shift1 = 0;
  int shift2 = 0;
  for (const char16_t ch : password) {
    const double code = CodeOf(ch);
    for (const int shift : {shift1, shift2}) {
      const double term = std::ldexp(code, shift);
      if (term < -2147483648.0 || term > 2147483647.0) {
        throw ProgramError(ErrorNumber::kOverflow);
      }
      value ^= static_cast<std::int32_t>(term);
    }
    shift1 = (shift1 + 7) % 19;
    shift2 = (shift2 + 13) % 23;
  }
  return value;
}

std::u16string QorSystem::Shift(const std::u16string& password, const std::u16string& text,
                                int direction) const {
  const std::int32_t seed = PasswordSeed(password);
  if (text.size() > kLengthLimit) throw ProgramError(ErrorNumber::kOverflow);
  basic_random::Draw(-1.0f);
  basic_random::Reseed(seed);
  std::u16string result;
  result.reserve(text.size());
  for (const char16_t ch : text) {
    if (ch < 32 || ch > 126) continue;
    const std::int32_t offset = basic_random::Offset96(basic_random::Draw());
    std::int32_t c = (ch - 32 + direction * offset) % 95;
    if (c < 0) c += 95;
    result += static_cast<char16_t>(c + 32);
  }
  // A text of exactly 32,767 characters overflows the index once its last
  // character is done: the draws are made, the result is not returned.
  if (text.size() == kLengthLimit) throw ProgramError(ErrorNumber::kOverflow);
  return result;
}

std::u16string QorSystem::Cipher(std::u16string Password, std::u16string from_text) {
  return Shift(Password, from_text, +1);
}

std::u16string QorSystem::Decipher(std::u16string Password, std::u16string from_text) {
  return Shift(Password, from_text, -1);
}

}  // namespace orvane
