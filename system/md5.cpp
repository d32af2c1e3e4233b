// QorSystem::Md5 and its word routines. Words are signed 32-bit patterns;
// the arithmetic is done on their unsigned form, which gives the same
// 32-bit results as the routines' definitions.
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "system/program_error.h"
#include "system/qor_system.h"

namespace orvane {
namespace {

constexpr std::uint32_t U(std::int32_t word) { return static_cast<std::uint32_t>(word); }
constexpr std::int32_t S(std::uint32_t word) { return static_cast<std::int32_t>(word); }

void CheckBits(std::int32_t bits) {
  if (bits < 0 || bits > 31) throw ProgramError(ErrorNumber::kOverflow);
}

}  // namespace

std::int32_t QorSystem::ShiftLeft32(std::int32_t value, std::int32_t bits) const {
  CheckBits(bits);
  return S(U(value) << bits);
}

std::int32_t QorSystem::ShiftRight32(std::int32_t value, std::int32_t bits) const {
  CheckBits(bits);
  return S(U(value) >> bits);
}

std::int32_t QorSystem::RotateLeft32(std::int32_t value, std::int32_t bits) const {
  // The composition of the two shifts: 0 bits asks ShiftRight32 for 32
  // and so raises error 6.
  CheckBits(bits);
  CheckBits(32 - bits);
  return S(std::rotl(U(value), bits));
}

std::int32_t QorSystem::WrapAdd32(std::int32_t x, std::int32_t y) const { return S(U(x) + U(y)); }

std::int32_t QorSystem::Md5FunF(std::int32_t x, std::int32_t y, std::int32_t z) const {
  return (x & y) | (~x & z);
}

std::int32_t QorSystem::Md5FunG(std::int32_t x, std::int32_t y, std::int32_t z) const {
  return (x & z) | (y & ~z);
}

std::int32_t QorSystem::Md5FunH(std::int32_t x, std::int32_t y, std::int32_t z) const {
  return x ^ y ^ z;
}

std::int32_t QorSystem::Md5FunI(std::int32_t x, std::int32_t y, std::int32_t z) const {
  return y ^ (x | ~z);
}

void QorSystem::Md5StepF(std::int32_t& a, std::int32_t b, std::int32_t c, std::int32_t d,
                         std::int32_t x, std::int32_t s, std::int32_t t) const {
  a = WrapAdd32(a, WrapAdd32(WrapAdd32(Md5FunF(b, c, d), x), t));
  a = RotateLeft32(a, s);
  a = WrapAdd32(a, b);
}

void QorSystem::Md5StepG(std::int32_t& a, std::int32_t b, std::int32_t c, std::int32_t d,
                         std::int32_t x, std::int32_t s, std::int32_t t) const {
  a = WrapAdd32(a, WrapAdd32(WrapAdd32(Md5FunG(b, c, d), x), t));
  a = RotateLeft32(a, s);
  a = WrapAdd32(a, b);
}

void QorSystem::Md5StepH(std::int32_t& a, std::int32_t b, std::int32_t c, std::int32_t d,
                         std::int32_t x, std::int32_t s, std::int32_t t) const {
  a = WrapAdd32(a, WrapAdd32(WrapAdd32(Md5FunH(b, c, d), x), t));
  a = RotateLeft32(a, s);
  a = WrapAdd32(a, b);
}

void QorSystem::Md5StepI(std::int32_t& a, std::int32_t b, std::int32_t c, std::int32_t d,
                         std::int32_t x, std::int32_t s, std::int32_t t) const {
  a = WrapAdd32(a, WrapAdd32(WrapAdd32(Md5FunI(b, c, d), x), t));
  a = RotateLeft32(a, s);
  a = WrapAdd32(a, b);
}

std::vector<std::int32_t> QorSystem::TextToWords(const std::u16string& text) const {
  const std::size_t length = text.size();
  // The length in bits is stored as two words, as the 32-bit count that
  // `length` is.
  const std::int32_t count = static_cast<std::int32_t>(length);
  std::vector<std::int32_t> words(((length + 8) / 64 + 1) * 16, 0);
  for (std::size_t p = 0; p < length; ++p) {
    const char16_t ch = text[p];
    // Below 0x80 every code page gives the character itself.
    words[p / 4] |= ShiftLeft32(CodeOf(ch), static_cast<std::int32_t>(8 * (p % 4)));
  }
  words[length / 4] |= ShiftLeft32(0x80, static_cast<std::int32_t>(8 * (length % 4)));
  words[words.size() - 2] = ShiftLeft32(count, 3);
  words[words.size() - 1] = ShiftRight32(count, 29);
  return words;
}

std::u16string QorSystem::WordToHexLE(std::int32_t word) const {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string hex;
  hex.reserve(8);
  for (std::int32_t j = 0; j < 4; ++j) {
    const std::int32_t byte = ShiftRight32(word, 8 * j) & 255;
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

void QorSystem::Md5Block(std::int32_t (&state)[4], const std::int32_t* w) const {
  std::int32_t a = state[0], b = state[1], c = state[2], d = state[3];

  Md5StepF(a, b, c, d, w[0], 7, S(0xD76AA478));
  Md5StepF(d, a, b, c, w[1], 12, S(0xE8C7B756));
  Md5StepF(c, d, a, b, w[2], 17, S(0x242070DB));
  Md5StepF(b, c, d, a, w[3], 22, S(0xC1BDCEEE));
  Md5StepF(a, b, c, d, w[4], 7, S(0xF57C0FAF));
  Md5StepF(d, a, b, c, w[5], 12, S(0x4787C62A));
  Md5StepF(c, d, a, b, w[6], 17, S(0xA8304613));
  Md5StepF(b, c, d, a, w[7], 22, S(0xFD469501));
  Md5StepF(a, b, c, d, w[8], 7, S(0x698098D8));
  Md5StepF(d, a, b, c, w[9], 12, S(0x8B44F7AF));
  Md5StepF(c, d, a, b, w[10], 17, S(0xFFFF5BB1));
  Md5StepF(b, c, d, a, w[11], 22, S(0x895CD7BE));
  Md5StepF(a, b, c, d, w[12], 7, S(0x6B901122));
  Md5StepF(d, a, b, c, w[13], 12, S(0xFD987193));
  Md5StepF(c, d, a, b, w[14], 17, S(0xA679438E));
  Md5StepF(b, c, d, a, w[15], 22, S(0x49B40821));

  Md5StepG(a, b, c, d, w[1], 5, S(0xF61E2562));
  Md5StepG(d, a, b, c, w[6], 9, S(0xC040B340));
  Md5StepG(c, d, a, b, w[11], 14, S(0x265E5A51));
  Md5StepG(b, c, d, a, w[0], 20, S(0xE9B6C7AA));
  Md5StepG(a, b, c, d, w[5], 5, S(0xD62F105D));
  Md5StepG(d, a, b, c, w[10], 9, S(0x02441453));
  Md5StepG(c, d, a, b, w[15], 14, S(0xD8A1E681));
  Md5StepG(b, c, d, a, w[4], 20, S(0xE7D3FBC8));
  Md5StepG(a, b, c, d, w[9], 5, S(0x21E1CDE6));
  Md5StepG(d, a, b, c, w[14], 9, S(0xC33707D6));
  Md5StepG(c, d, a, b, w[3], 14, S(0xF4D50D87));
  Md5StepG(b, c, d, a, w[8], 20, S(0x455A14ED));
  Md5StepG(a, b, c, d, w[13], 5, S(0xA9E3E905));
  Md5StepG(d, a, b, c, w[2], 9, S(0xFCEFA3F8));
  Md5StepG(c, d, a, b, w[7], 14, S(0x676F02D9));
  Md5StepG(b, c, d, a, w[12], 20, S(0x8D2A4C8A));

  Md5StepH(a, b, c, d, w[5], 4, S(0xFFFA3942));
  Md5StepH(d, a, b, c, w[8], 11, S(0x8771F681));
  Md5StepH(c, d, a, b, w[11], 16, S(0x6D9D6122));
  Md5StepH(b, c, d, a, w[14], 23, S(0xFDE5380C));
  Md5StepH(a, b, c, d, w[1], 4, S(0xA4BEEA44));
  Md5StepH(d, a, b, c, w[4], 11, S(0x4BDECFA9));
  Md5StepH(c, d, a, b, w[7], 16, S(0xF6BB4B60));
  Md5StepH(b, c, d, a, w[10], 23, S(0xBEBFBC70));
  Md5StepH(a, b, c, d, w[13], 4, S(0x289B7EC6));
  Md5StepH(d, a, b, c, w[0], 11, S(0xEAA127FA));
  Md5StepH(c, d, a, b, w[3], 16, S(0xD4EF3085));
  Md5StepH(b, c, d, a, w[6], 23, S(0x04881D05));
  Md5StepH(a, b, c, d, w[9], 4, S(0xD9D4D039));
  Md5StepH(d, a, b, c, w[12], 11, S(0xE6DB99E5));
  Md5StepH(c, d, a, b, w[15], 16, S(0x1FA27CF8));
  Md5StepH(b, c, d, a, w[2], 23, S(0xC4AC5665));

  Md5StepI(a, b, c, d, w[0], 6, S(0xF4292244));
  Md5StepI(d, a, b, c, w[7], 10, S(0x432AFF97));
  Md5StepI(c, d, a, b, w[14], 15, S(0xAB9423A7));
  Md5StepI(b, c, d, a, w[5], 21, S(0xFC93A039));
  Md5StepI(a, b, c, d, w[12], 6, S(0x655B59C3));
  Md5StepI(d, a, b, c, w[3], 10, S(0x8F0CCC92));
  Md5StepI(c, d, a, b, w[10], 15, S(0xFFEFF47D));
  Md5StepI(b, c, d, a, w[1], 21, S(0x85845DD1));
  Md5StepI(a, b, c, d, w[8], 6, S(0x6FA87E4F));
  Md5StepI(d, a, b, c, w[15], 10, S(0xFE2CE6E0));
  Md5StepI(c, d, a, b, w[6], 15, S(0xA3014314));
  Md5StepI(b, c, d, a, w[13], 21, S(0x4E0811A1));
  Md5StepI(a, b, c, d, w[4], 6, S(0xF7537E82));
  Md5StepI(d, a, b, c, w[11], 10, S(0xBD3AF235));
  Md5StepI(c, d, a, b, w[2], 15, S(0x2AD7D2BB));
  Md5StepI(b, c, d, a, w[9], 21, S(0xEB86D391));

  state[0] = WrapAdd32(state[0], a);
  state[1] = WrapAdd32(state[1], b);
  state[2] = WrapAdd32(state[2], c);
  state[3] = WrapAdd32(state[3], d);
}

std::u16string QorSystem::Md5(const std::u16string& Messenger, const std::int32_t& Stype) {
  std::int32_t state[4] = {0x67452301, S(0xEFCDAB89), S(0x98BADCFE), 0x10325476};

  // Whole 64-character blocks are read straight from the text, with the
  // words TextToWords would give them; the rest and the padding come from
  // TextToWords itself, with the length of the whole text.
  const std::size_t length = Messenger.size();
  const std::size_t whole = length / 64 * 64;
  const char16_t* text = Messenger.data();
  std::int32_t w[16];
  for (std::size_t k = 0; k < whole; k += 64) {
    const char16_t* block = text + k;
    unsigned all = 0;
    for (std::size_t p = 0; p < 64; ++p) all |= block[p];
    if (all < 0x80) {
      // ASCII: each character is its own byte.
      for (std::size_t i = 0; i < 16; ++i) {
        w[i] = S(std::uint32_t{block[4 * i]} | std::uint32_t{block[4 * i + 1]} << 8 |
                 std::uint32_t{block[4 * i + 2]} << 16 | std::uint32_t{block[4 * i + 3]} << 24);
      }
    } else {
      for (std::size_t i = 0; i < 16; ++i) {
        w[i] = 0;
        for (std::int32_t j = 0; j < 4; ++j) w[i] |= ShiftLeft32(CodeOf(block[4 * i + j]), 8 * j);
      }
    }
    Md5Block(state, w);
  }
  std::vector<std::int32_t> tail = TextToWords(Messenger.substr(whole));
  const std::int32_t count = static_cast<std::int32_t>(length);
  tail[tail.size() - 2] = ShiftLeft32(count, 3);
  tail[tail.size() - 1] = ShiftRight32(count, 29);
  for (std::size_t k = 0; k < tail.size(); k += 16) Md5Block(state, tail.data() + k);

  const std::int32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::u16string hex;
  if (Stype == 32) {
    hex = WordToHexLE(a) + WordToHexLE(b) + WordToHexLE(c) + WordToHexLE(d);
  } else if (Stype == 16) {
    hex = WordToHexLE(b) + WordToHexLE(c);
  }
  for (char16_t& ch : hex) {
    if (ch >= u'A' && ch <= u'F') ch = static_cast<char16_t>(ch - u'A' + u'a');
  }
  return hex;
}

}  // namespace orvane
