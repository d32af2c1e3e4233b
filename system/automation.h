// Automation values: the variant the class interfaces pass around, and
// objects whose properties are reached by name at run time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace orvane {

class LateBoundObject;

// A tagged automation value. A default-constructed variant is empty (an
// unassigned result); null is a distinct value.
class Variant {
 public:
  enum class Kind { kEmpty, kNull, kInteger, kLong, kDouble, kBoolean, kText, kObject };
  using Object = std::shared_ptr<LateBoundObject>;

  Variant() = default;
  static Variant Null();
  // Tagged constructors: a 16-bit Integer, a 32-bit Long and a Boolean
  // (true -1, false 0) are different kinds of the same C++ width.
  static Variant Integer(std::int16_t value);
  static Variant Long(std::int32_t value);
  static Variant Boolean(bool value);
  explicit Variant(double value);
  explicit Variant(std::u16string value);
  explicit Variant(const char16_t* value) : Variant(std::u16string(value)) {}
  explicit Variant(Object value);

  Kind kind() const;
  bool IsEmpty() const { return kind() == Kind::kEmpty; }
  bool IsNull() const { return kind() == Kind::kNull; }

  // The text form: empty gives "", numbers their decimal text, a Boolean
  // "True" or "False". Null and objects have none: ProgramError 13.
  std::u16string ToText() const;
  // The value as a number: empty is 0, a Boolean -1 or 0, text is parsed.
  // Null, objects and text that is no number raise ProgramError 13.
  double ToDouble() const;
  // ToDouble rounded to the nearest integer, halves to the even one;
  // outside the 32-bit range ProgramError 6.
  std::int32_t ToLong() const;
  // True for any non-zero number; empty is false. Null and objects raise
  // ProgramError 13.
  bool ToBool() const;
  // The object held; anything else raises ProgramError 13.
  const Object& ToObject() const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };
  struct IntegerTag {
    std::int16_t value;
    friend bool operator==(IntegerTag a, IntegerTag b) { return a.value == b.value; }
  };
  struct BooleanTag {
    bool value;
    friend bool operator==(BooleanTag a, BooleanTag b) { return a.value == b.value; }
  };
  using Storage = std::variant<std::monostate, NullTag, IntegerTag, std::int32_t, double,
                               BooleanTag, std::u16string, Object>;
  Storage value_;
};

// An object whose properties are reached by name at run time. Names
// compare without regard to ASCII case, as automation names do.
class LateBoundObject {
 public:
  virtual ~LateBoundObject() = default;
  // The property's value; ProgramError 438 when the object has no such
  // property.
  virtual Variant GetProperty(std::u16string_view name) = 0;
  // Sets the property; ProgramError 438 when the object has no such
  // property (or it cannot be set).
  virtual void SetProperty(std::u16string_view name, const Variant& value) = 0;
};

// True when `a` and `b` are the same name, ignoring ASCII case.
bool SameName(std::u16string_view a, std::u16string_view b);

}  // namespace orvane
