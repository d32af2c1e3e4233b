// Md5: on text of single-byte characters the standard digest (OpenSSL's)
// of their bytes; on any UTF-16 text
// a digest of 32 lower-case hexadecimal digits whose middle 16 are the
// short form, and never an error.
#include <openssl/md5.h>

#include <cstddef>
#include <cstdint>
#include <string>

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
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string expected;
  for (const unsigned char byte : reference) {
    expected += kDigits[byte >> 4];
    expected += kDigits[byte & 15];
  }
  Expect(Digest(system, text) == expected, "Md5 of single-byte text is the standard digest");

  Digest(system, orvane::fuzz::Utf16(orvane::fuzz::Bytes(data, size)));
  return 0;
}
