// QorSystem::Md5 and its word routines. Words are signed 32-bit patterns;
// the arithmetic is done on their unsigned form, which gives the same
// 32-bit results as the routines' definitions.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
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

// The steps of the compression: a = b + ((a + f(b, c, d) + x + t) <<< s).
// Each step waits for b, the word the step before has just made, so what
// does not depend on b is added first and each round function leaves as
// little as it can to do once b is there.
inline void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  a += x + t;
  a += ((c ^ d) & b) ^ d;  // (b & c) | (~b & d)
  a = std::rotl(a, s) + b;
}

inline void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  // (b & d) | (c & ~d): the two terms have no bit in common, so their
  // sum is the same and c's term is added before b is known.
  a += x + t;
  a += c & ~d;
  a += b & d;
  a = std::rotl(a, s) + b;
}

inline void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  a += x + t;
  a += b ^ (c ^ d);
  a = std::rotl(a, s) + b;
}

inline void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t x, int s, std::uint32_t t) {
  a += x + t;
  a += c ^ (b | ~d);
  a = std::rotl(a, s) + b;
}

// One block of 16 message words folded into the state.
void Compress(std::uint32_t (&state)[4], const std::int32_t* w) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  StepF(a, b, c, d, U(w[0]), 7, 0xD76AA478);
  StepF(d, a, b, c, U(w[1]), 12, 0xE8C7B756);
  StepF(c, d, a, b, U(w[2]), 17, 0x242070DB);
  StepF(b, c, d, a, U(w[3]), 22, 0xC1BDCEEE);
  StepF(a, b, c, d, U(w[4]), 7, 0xF57C0FAF);
  StepF(d, a, b, c, U(w[5]), 12, 0x4787C62A);
  StepF(c, d, a, b, U(w[6]), 17, 0xA8304613);
  StepF(b, c, d, a, U(w[7]), 22, 0xFD469501);
  StepF(a, b, c, d, U(w[8]), 7, 0x698098D8);
  StepF(d, a, b, c, U(w[9]), 12, 0x8B44F7AF);
  StepF(c, d, a, b, U(w[10]), 17, 0xFFFF5BB1);
  StepF(b, c, d, a, U(w[11]), 22, 0x895CD7BE);
  StepF(a, b, c, d, U(w[12]), 7, 0x6B901122);
  StepF(d, a, b, c, U(w[13]), 12, 0xFD987193);
  StepF(c, d, a, b, U(w[14]), 17, 0xA679438E);
  StepF(b, c, d, a, U(w[15]), 22, 0x49B40821);

  StepG(a, b, c, d, U(w[1]), 5, 0xF61E2562);
  StepG(d, a, b, c, U(w[6]), 9, 0xC040B340);
  StepG(c, d, a, b, U(w[11]), 14, 0x265E5A51);
  StepG(b, c, d, a, U(w[0]), 20, 0xE9B6C7AA);
  StepG(a, b, c, d, U(w[5]), 5, 0xD62F105D);
  StepG(d, a, b, c, U(w[10]), 9, 0x02441453);
  StepG(c, d, a, b, U(w[15]), 14, 0xD8A1E681);
  StepG(b, c, d, a, U(w[4]), 20, 0xE7D3FBC8);
  StepG(a, b, c, d, U(w[9]), 5, 0x21E1CDE6);
  StepG(d, a, b, c, U(w[14]), 9, 0xC33707D6);
  StepG(c, d, a, b, U(w[3]), 14, 0xF4D50D87);
  StepG(b, c, d, a, U(w[8]), 20, 0x455A14ED);
  StepG(a, b, c, d, U(w[13]), 5, 0xA9E3E905);
  StepG(d, a, b, c, U(w[2]), 9, 0xFCEFA3F8);
  StepG(c, d, a, b, U(w[7]), 14, 0x676F02D9);
  StepG(b, c, d, a, U(w[12]), 20, 0x8D2A4C8A);

  StepH(a, b, c, d, U(w[5]), 4, 0xFFFA3942);
  StepH(d, a, b, c, U(w[8]), 11, 0x8771F681);
  StepH(c, d, a, b, U(w[11]), 16, 0x6D9D6122);
  StepH(b, c, d, a, U(w[14]), 23, 0xFDE5380C);
  StepH(a, b, c, d, U(w[1]), 4, 0xA4BEEA44);
  StepH(d, a, b, c, U(w[4]), 11, 0x4BDECFA9);
  StepH(c, d, a, b, U(w[7]), 16, 0xF6BB4B60);
  StepH(b, c, d, a, U(w[10]), 23, 0xBEBFBC70);
  StepH(a, b, c, d, U(w[13]), 4, 0x289B7EC6);
  StepH(d, a, b, c, U(w[0]), 11, 0xEAA127FA);
  StepH(c, d, a, b, U(w[3]), 16, 0xD4EF3085);
  StepH(b, c, d, a, U(w[6]), 23, 0x04881D05);
  StepH(a, b, c, d, U(w[9]), 4, 0xD9D4D039);
  StepH(d, a, b, c, U(w[12]), 11, 0xE6DB99E5);
  StepH(c, d, a, b, U(w[15]), 16, 0x1FA27CF8);
  StepH(b, c, d, a, U(w[2]), 23, 0xC4AC5665);

  StepI(a, b, c, d, U(w[0]), 6, 0xF4292244);
  StepI(d, a, b, c, U(w[7]), 10, 0x432AFF97);
  StepI(c, d, a, b, U(w[14]), 15, 0xAB9423A7);
  StepI(b, c, d, a, U(w[5]), 21, 0xFC93A039);
  StepI(a, b, c, d, U(w[12]), 6, 0x655B59C3);
  StepI(d, a, b, c, U(w[3]), 10, 0x8F0CCC92);
  StepI(c, d, a, b, U(w[10]), 15, 0xFFEFF47D);
  StepI(b, c, d, a, U(w[1]), 21, 0x85845DD1);
  StepI(a, b, c, d, U(w[8]), 6, 0x6FA87E4F);
  StepI(d, a, b, c, U(w[15]), 10, 0xFE2CE6E0);
  StepI(c, d, a, b, U(w[6]), 15, 0xA3014314);
  StepI(b, c, d, a, U(w[13]), 21, 0x4E0811A1);
  StepI(a, b, c, d, U(w[4]), 6, 0xF7537E82);
  StepI(d, a, b, c, U(w[11]), 10, 0xBD3AF235);
  StepI(c, d, a, b, U(w[2]), 15, 0x2AD7D2BB);
  StepI(b, c, d, a, U(w[9]), 21, 0xEB86D391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

// The 16 message words of 64 characters that are all below 0x80, each
// character its own byte; false when one is not, `w` then holding nothing of use.
// The check and the narrowing to bytes are one pass that compilers turn
// into a few vector instructions where the target has them.
bool PackAsciiBlock(const char16_t* block, std::int32_t (&w)[16]) {
  char16_t all = 0;
  unsigned char bytes[64];
  for (std::size_t p = 0; p < 64; ++p) {
    all |= block[p];
    bytes[p] = static_cast<unsigned char>(block[p]);
  }
  if (all >= 0x80) return false;
  for (std::size_t i = 0; i < 16; ++i) {
    w[i] = S(std::uint32_t{bytes[4 * i]} | std::uint32_t{bytes[4 * i + 1]} << 8 |
             std::uint32_t{bytes[4 * i + 2]} << 16 | std::uint32_t{bytes[4 * i + 3]} << 24);
  }
  return true;
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

void QorSystem::FoldCodes(const char16_t* text, std::size_t length, std::int32_t* words) const {
  for (std::size_t p = 0; p < length; ++p) {
    // Below 0x80 every code page gives the character itself.
    words[p / 4] |= ShiftLeft32(CodeOf(text[p]), static_cast<std::int32_t>(8 * (p % 4)));
  }
}

void QorSystem::TailWords(const char16_t* text, std::size_t length, std::int32_t count,
                          std::int32_t* words) const {
  const std::size_t size = ((length + 8) / 64 + 1) * 16;
  FoldCodes(text, length, words);
  words[length / 4] |= ShiftLeft32(0x80, static_cast<std::int32_t>(8 * (length % 4)));
  words[size - 2] = ShiftLeft32(count, 3);
  words[size - 1] = ShiftRight32(count, 29);
}

std::vector<std::int32_t> QorSystem::TextToWords(const std::u16string& text) const {
  const std::size_t length = text.size();
  std::vector<std::int32_t> words(((length + 8) / 64 + 1) * 16, 0);
  // The length in bits is stored as two words, as the 32-bit count that
  // `length` is.
  TailWords(text.data(), length, static_cast<std::int32_t>(length), words.data());
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

std::u16string QorSystem::Md5(const std::u16string& Messenger, const std::int32_t& Stype) {
  std::uint32_t state[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};

  // The rest of the text after its whole 64-character blocks, the padding
  // and the length of the whole text: one block, or two when 56 characters
  // or more are left.
  const std::size_t length = Messenger.size();
  const std::size_t whole = length / 64;
  const std::size_t rest = length % 64;
  const char16_t* text = Messenger.data();
  std::int32_t tail[32] = {};
  TailWords(text + 64 * whole, rest, static_cast<std::int32_t>(length), tail);

  // Whole blocks are read straight from the text, with the words
  // TextToWords would give them: packed as they are when all their
  // characters are ASCII, a character at a time otherwise. One call of
  // Compress for every block lets the compiler inline it into this loop.
  const std::size_t blocks = whole + (rest + 8) / 64 + 1;
  std::int32_t w[16];
  for (std::size_t k = 0; k < blocks; ++k) {
    const std::int32_t* words = w;
    if (k >= whole) {
      words = tail + 16 * (k - whole);
    } else if (!PackAsciiBlock(text + 64 * k, w)) {
      std::fill(std::begin(w), std::end(w), 0);
      FoldCodes(text + 64 * k, 64, w);
    }
    Compress(state, words);
  }

  const std::int32_t a = S(state[0]), b = S(state[1]), c = S(state[2]), d = S(state[3]);
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
