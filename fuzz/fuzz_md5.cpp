// Md5: on text of single-byte characters the standard digest (OpenSSL's)
// of their bytes; on any UTF-16 text the digest of the message words a
// character at a time (a double-byte code, sign bits and all, OR-ed in at
// its byte position) run through OpenSSL's block function, 32 lower-case
// hexadecimal digits whose middle 16 are the short form, and never an
// error.
#include <openssl/md5.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "system/qor_system.h"

namespace {

using orvane::fuzz::Expect;

bool IsLowerHex(const std::u16string& text) {
  for (const char16_t ch : text) {
    if (!((ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f'))) return false;
  }
  return true;
}

// Both forms of the digest of `text`, checked against each other.
std::u16string Digest(orvane::QorSystem& system, const std::u16string& text) {
  const std::u16string full = system.Md5(text, 32);
  Expect(full.size() == 32 && IsLowerHex(full), "Md5 gives 32 lower-case hex digits");
  Expect(system.Md5(text, 16) == full.substr(8, 16),
         "Md5(text, 16) is the middle of Md5(text, 32)");
  return full;
}

std::u16string Hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 15];
  }
  return hex;
}

// The message words built one character at a time, padded and
// compressed block by block with MD5_Transform.
std::u16string FoldedDigest(const orvane::CodePage& page, const std::u16string& text) {
  const std::size_t n = text.size();
  std::vector<std::uint32_t> words(((n + 8) / 64 + 1) * 16, 0);
  for (std::size_t p = 0; p < n; ++p) {
    const std::int32_t code = page.CharCode(text[p]);
    words[p / 4] |= static_cast<std::uint32_t>(code) << (8 * (p % 4));
  }
  words[n / 4] |= 0x80u << (8 * (n % 4));
  words[words.size() - 2] = static_cast<std::uint32_t>(n) << 3;
  words[words.size() - 1] = static_cast<std::uint32_t>(n) >> 29;
  MD5_CTX context;
  MD5_Init(&context);
  for (std::size_t k = 0; k < words.size(); k += 16) {
    unsigned char block[64];
    for (std::size_t i = 0; i < 64; ++i) block[i] = (words[k + i / 4] >> (8 * (i % 4))) & 0xFF;
    MD5_Transform(&context, block);
  }
  unsigned char digest[16];
  const MD5_LONG state[4] = {context.A, context.B, context.C, context.D};
  for (std::size_t i = 0; i < 16; ++i) digest[i] = (state[i / 4] >> (8 * (i % 4))) & 0xFF;
  return Hex(digest, 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static orvane::QorSystem system{orvane::CodePage(936)};

  // Each byte is one character and one message byte: 0x80 the euro sign
  // (the page's one single-byte character beyond ASCII), any other byte
  // cut to 7 bits.
  std::string single_bytes(orvane::fuzz::Bytes(data, size));
  std::u16string text;
  for (char& byte : single_bytes) {
    if (static_cast<unsigned char>(byte) == 0x80) {
      text += u'\u20AC';
      continue;
    }
    byte = static_cast<char>(byte & 0x7F);
    text += static_cast<char16_t>(byte);
  }
  unsigned char reference[MD5_DIGEST_LENGTH];
  MD5(reinterpret_cast<const unsigned char*>(single_bytes.data()), single_bytes.size(), reference);
  Expect(Digest(system, text) == Hex(reference, MD5_DIGEST_LENGTH),
         "Md5 of single-byte text is the standard digest");

  const std::u16string any = orvane::fuzz::Utf16(orvane::fuzz::Bytes(data, size));
  Expect(Digest(system, any) == FoldedDigest(system.code_page_for_testing(), any),
         "Md5 folds each character's code into its word");
  return 0;
}
