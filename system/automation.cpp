#include "system/automation.h"

#include <charconv>
#include <cmath>

#include "system/number_text.h"
#include "system/program_error.h"

namespace orvane {

Variant Variant::Null() {
  Variant result;
  result.value_.emplace<NullTag>();
  return result;
}
Variant Variant::Integer(std::int16_t value) {
  Variant result;
  result.value_.emplace<IntegerTag>(IntegerTag{value});
  return result;
}
Variant Variant::Long(std::int32_t value) {
  Variant result;
  result.value_.emplace<std::int32_t>(value);
  return result;
}
Variant Variant::Boolean(bool value) {
  Variant result;
  result.value_.emplace<BooleanTag>(BooleanTag{value});
  return result;
}
Variant::Variant(double value) : value_(value) {}
Variant::Variant(std::u16string value) : value_(std::move(value)) {}
Variant::Variant(Object value) : value_(std::move(value)) {}

Variant::Kind Variant::kind() const { return static_cast<Kind>(value_.index()); }

bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

namespace {

std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

[[noreturn]] void TypeMismatch() { throw ProgramError(ErrorNumber::kTypeMismatch); }

}  // namespace

std::u16string Variant::ToText() const {
  switch (kind()) {
    case Kind::kEmpty:
      return u"";
    case Kind::kInteger:
      return Widen(std::to_string(std::get<IntegerTag>(value_).value));
    case Kind::kLong:
      return Widen(std::to_string(std::get<std::int32_t>(value_)));
    case Kind::kDouble:
      // The shortest text that reads back as the same number.
      return Widen(ShortestText(std::get<double>(value_)));
    case Kind::kBoolean:
      return std::get<BooleanTag>(value_).value ? u"True" : u"False";
    case Kind::kText:
      return std::get<std::u16string>(value_);
    case Kind::kNull:
    case Kind::kObject:
      break;
  }
  TypeMismatch();
}

double Variant::ToDouble() const {
  switch (kind()) {
    case Kind::kEmpty:
      return 0;
    case Kind::kInteger:
      return std::get<IntegerTag>(value_).value;
    case Kind::kLong:
      return std::get<std::int32_t>(value_);
    case Kind::kDouble:
      return std::get<double>(value_);
    case Kind::kBoolean:
      return std::get<BooleanTag>(value_).value ? -1 : 0;
    case Kind::kText: {
      const std::u16string& text = std::get<std::u16string>(value_);
      std::string narrow;
      for (char16_t ch : text) {
        if (ch > 0x7F) TypeMismatch();
        if (ch != u' ') narrow += static_cast<char>(ch);
      }
      double value = 0;
      const auto result = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
      if (narrow.empty() || result.ec != std::errc() || result.ptr != narrow.data() + narrow.size())
        TypeMismatch();
      return value;
    }
    case Kind::kNull:
    case Kind::kObject:
      break;
  }
  TypeMismatch();
}

std::int32_t Variant::ToLong() const {
  const double rounded = std::nearbyint(ToDouble());  // the default mode: halves to even
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
    throw ProgramError(ErrorNumber::kOverflow);
  return static_cast<std::int32_t>(rounded);
}

bool Variant::ToBool() const { return ToDouble() != 0; }

const Variant::Object& Variant::ToObject() const {
  if (kind() != Kind::kObject) TypeMismatch();
  return std::get<Object>(value_);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t ch) { return ch >= u'A' && ch <= u'Z' ? ch + (u'a' - u'A') : ch; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace orvane
