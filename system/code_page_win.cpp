// CodePage on Windows: the platform's conversions.
#include <windows.h>

#include "system/code_page.h"

namespace orvane {

struct CodePage::Converter {
  UINT number;
};

CodePage::CodePage(unsigned number) : converter_(std::make_shared<Converter>(Converter{number})) {}

unsigned CodePage::number() const {
  return converter_->number == CP_ACP ? GetACP() : converter_->number;
}

std::string CodePage::ToBytes(std::u16string_view text) const {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(converter_->number, /*dwFlags=*/0, wide, length, nullptr, 0,
                                       /*lpDefaultChar=*/nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(converter_->number, 0, wide, length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::u16string CodePage::FromBytes(std::string_view bytes) const {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int size =
      MultiByteToWideChar(converter_->number, /*dwFlags=*/0, bytes.data(), length, nullptr, 0);
  std::u16string text(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(converter_->number, 0, bytes.data(), length,
                      reinterpret_cast<wchar_t*>(text.data()), size);
  return text;
}

std::optional<std::u16string> CodePage::FromBytesStrict(std::string_view bytes) const {
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(converter_->number, MB_ERR_INVALID_CHARS, bytes.data(),
                                       length, nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::u16string text(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(converter_->number, MB_ERR_INVALID_CHARS, bytes.data(), length,
                      reinterpret_cast<wchar_t*>(text.data()), size);
  return text;
}

}  // namespace orvane
