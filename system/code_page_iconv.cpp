// CodePage in the native build: iconv with the Windows code page of the
// same number ("CP936" for 936).
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "system/code_page.h"

namespace orvane {
namespace {

class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv_open failed: ") + from + " to " + to);
  }
  ~IconvHandle() { iconv_close(cd_); }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  // Converts `in`. A sequence that cannot be converted, or is cut off at
  // the end, becomes `substitute` and conversion goes on after `unit`
  // bytes (two for UTF-16 input, one for code-page input); nothing when
  // `strict`, which returns false instead.
  bool Convert(const char* in, size_t in_size, size_t unit, std::string_view substitute,
               bool strict, std::string& out) const {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    // Most calls convert a character or a short text; longer ones go
    // through the buffer in turns (E2BIG).
    std::array<char, 512> buffer;
    auto* in_ptr = const_cast<char*>(in);
    size_t in_left = in_size;
    while (in_left > 0) {
      char* out_ptr = buffer.data();
      size_t out_left = buffer.size();
      const size_t result = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(buffer.data(), static_cast<size_t>(out_ptr - buffer.data()));
      if (result != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      if (strict) return false;
      out.append(substitute);
      // A surrogate pair the code page lacks is skipped whole.
      size_t skip = unit;
      if (unit == 2 && in_left >= 4) {
        const auto high = static_cast<unsigned char>(in_ptr[1]);
        if (high >= 0xD8 && high <= 0xDB) skip = 4;
      }
      skip = std::min(skip, in_left);
      in_ptr += skip;
      in_left -= skip;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

struct CodePage::Converter {
  explicit Converter(unsigned n)
      : number(n),
        name("CP" + std::to_string(n)),
        to_bytes(name.c_str(), "UTF-16LE"),
        from_bytes("UTF-16LE", name.c_str()) {}
  unsigned number;
  std::string name;
  IconvHandle to_bytes;
  IconvHandle from_bytes;
};

CodePage::CodePage(unsigned number) : converter_(std::make_shared<Converter>(number)) {}

unsigned CodePage::number() const { return converter_->number; }

std::string CodePage::ToBytes(std::u16string_view text) const {
  std::string bytes;
  converter_->to_bytes.Convert(reinterpret_cast<const char*>(text.data()), text.size() * 2, 2, "?",
                               /*strict=*/false, bytes);
  return bytes;
}

namespace {
std::u16string Utf16FromLittleEndian(const std::string& raw) {
  std::u16string text(raw.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                    static_cast<unsigned char>(raw[2 * i + 1]) << 8);
  return text;
}
}  // namespace

std::u16string CodePage::FromBytes(std::string_view bytes) const {
  std::string raw;
  converter_->from_bytes.Convert(bytes.data(), bytes.size(), 1, std::string_view("?\0", 2),
                                 /*strict=*/false, raw);
  return Utf16FromLittleEndian(raw);
}

std::optional<std::u16string> CodePage::FromBytesStrict(std::string_view bytes) const {
  std::string raw;
  if (!converter_->from_bytes.Convert(bytes.data(), bytes.size(), 1, {}, /*strict=*/true, raw))
    return std::nullopt;
  return Utf16FromLittleEndian(raw);
}

}  // namespace orvane
