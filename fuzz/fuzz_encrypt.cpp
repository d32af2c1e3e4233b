// Encrypt and Decrypt on text decoded from the input as GBK (every
// character in the code page) and on the input as raw UTF-16. Only
// ProgramError 5 may be raised. Where one direction succeeds on text whose
// characters all exist in the code page, the other gives the text back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "system/automation.h"
#include "system/qor_system.h"

namespace {

using orvane::Variant;
using orvane::fuzz::ErrorOf;
using orvane::fuzz::Expect;

orvane::QorSystem& System() {
  static orvane::QorSystem system{orvane::CodePage(936)};
  return system;
}

Variant Encrypt(const Variant& value) { return System().Encrypt(value); }
Variant Decrypt(const Variant& value) { return System().Decrypt(value); }

// `forward` then `backward` on `text`.
void CheckRoundTrip(const std::u16string& text, Variant (*forward)(const Variant&),
                    Variant (*backward)(const Variant&)) {
  Variant shifted;
  const int error = ErrorOf([&] { shifted = forward(Variant(text)); });
  if (error != 0) {
    Expect(error == 5, "Encrypt and Decrypt raise nothing but error 5");
    return;
  }
  if (text.empty()) {
    Expect(shifted.IsEmpty(), "empty text gives the empty value");
    return;
  }
  Expect(shifted.kind() == Variant::Kind::kText, "a shifted text is text");
  const orvane::CodePage& code_page = System().code_page_for_testing();
  if (code_page.FromBytes(code_page.ToBytes(text)) != text) return;
  Variant back;
  Expect(ErrorOf([&] { back = backward(shifted); }) == 0, "a shifted text shifts back");
  Expect(back.ToText() == text, "shifting back gives the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = orvane::fuzz::Bytes(data, size);
  for (const std::u16string& text :
       {System().code_page_for_testing().FromBytes(bytes), orvane::fuzz::Utf16(bytes)}) {
    CheckRoundTrip(text, Encrypt, Decrypt);
    CheckRoundTrip(text, Decrypt, Encrypt);
  }
  return 0;
}
