// Cipher and Decipher: the password and the text from one input. Output
// is printable ASCII only, one character for each printable character of
// the text, and Decipher gives those characters back. Only ProgramError 6
// may be raised, and only for a password with a character beyond ASCII
// (whose weighted code can leave 32 bits): lengths stay far below the
// limit here.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "system/qor_system.h"

namespace {

using orvane::fuzz::ErrorOf;
using orvane::fuzz::Expect;

bool Printable(char16_t ch) { return ch >= 32 && ch <= 126; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static orvane::QorSystem system{orvane::CodePage(936)};
  const auto [password_bytes, text_bytes] = orvane::fuzz::Split(orvane::fuzz::Bytes(data, size));
  const std::u16string password = orvane::fuzz::Utf16(password_bytes);
  const std::u16string text = orvane::fuzz::Utf16(text_bytes);

  std::u16string enciphered;
  const int error = ErrorOf([&] { enciphered = system.Cipher(password, text); });
  if (error != 0) {
    Expect(error == 6, "Cipher raises nothing but error 6");
    Expect(std::any_of(password.begin(), password.end(), [](char16_t ch) { return ch >= 0x80; }),
           "Cipher raises 6 only for a password beyond ASCII");
    Expect(ErrorOf([&] { system.Decipher(password, text); }) == 6,
           "Decipher refuses the passwords Cipher refuses");
    return 0;
  }

  std::u16string printable;
  std::copy_if(text.begin(), text.end(), std::back_inserter(printable), Printable);
  Expect(enciphered.size() == printable.size(),
         "Cipher gives one character per printable character");
  Expect(std::all_of(enciphered.begin(), enciphered.end(), Printable),
         "Cipher gives printable characters only");
  // Only the characters kept draw from the generator.
  Expect(system.Cipher(password, printable) == enciphered,
         "Cipher ignores the characters it drops");
  std::u16string deciphered;
  Expect(ErrorOf([&] { deciphered = system.Decipher(password, enciphered); }) == 0,
         "Decipher takes any password Cipher took");
  Expect(deciphered == printable, "Decipher undoes Cipher");
  return 0;
}
