// Test helpers for every build, native and Windows: the code page the text
// tests run in, the error a call raises, a late-bound object with fixed
// properties, and the string conversions the tests need.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system/automation.h"
#include "system/code_page.h"

namespace orvane::testing {

// The code page the text tests run in: 936 (GBK). The native build names
// it; under Wine it is the active ANSI code page (LANG=zh_CN.UTF-8), so
// the same tests check that both builds give the same codes.
CodePage Gbk();

// The number of the ProgramError that `call` raises; 0 when it raises none.
int ErrorOf(const std::function<void()>& call);

// A late-bound object with a fixed set of properties. Reading or setting
// any other raises ProgramError 438; every successful set is logged.
class PropertyBag : public LateBoundObject {
 public:
  PropertyBag() = default;
  explicit PropertyBag(std::vector<std::pair<std::u16string, Variant>> properties)
      : properties_(std::move(properties)) {}
  Variant GetProperty(std::u16string_view name) override;
  void SetProperty(std::u16string_view name, const Variant& value) override;

  const Variant& operator[](std::u16string_view name) const;
  // Names of the properties set, in order.
  const std::vector<std::u16string>& set_log() const { return set_log_; }

 private:
  std::vector<std::pair<std::u16string, Variant>> properties_;
  std::vector<std::u16string> set_log_;
};

// The same characters, unit for unit, in another string type: for ASCII,
// and on Windows between UTF-16 and wide text.
inline std::u16string U16(std::wstring_view text) { return {text.begin(), text.end()}; }
inline std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }
inline std::string Ascii(std::u16string_view text) { return {text.begin(), text.end()}; }

}  // namespace orvane::testing
