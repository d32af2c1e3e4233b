#include "tests/support/common_test_support.h"

#include "system/program_error.h"

namespace orvane::testing {

#ifdef _WIN32
CodePage Gbk() { return CodePage::Active(); }
#else
CodePage Gbk() { return CodePage(936); }
#endif

int ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ProgramError& error) {
    return error.number();
  }
  return 0;
}

Variant PropertyBag::GetProperty(std::u16string_view name) {
  for (const auto& [key, value] : properties_)
    if (SameName(key, name)) return value;
  throw ProgramError(ErrorNumber::kNoSuchProperty);
}

void PropertyBag::SetProperty(std::u16string_view name, const Variant& value) {
  for (auto& [key, stored] : properties_) {
    if (SameName(key, name)) {
      stored = value;
      set_log_.emplace_back(name);
      return;
    }
  }
  throw ProgramError(ErrorNumber::kNoSuchProperty);
}

const Variant& PropertyBag::operator[](std::u16string_view name) const {
  for (const auto& [key, value] : properties_)
    if (SameName(key, name)) return value;
  throw ProgramError(ErrorNumber::kNoSuchProperty);
}

}  // namespace orvane::testing
