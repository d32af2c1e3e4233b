// The one exception type that operations raise to their callers: a runtime
// error number with its description, as an automation client sees it.
#pragma once

#include <exception>
#include <string>

namespace orvane {

enum class ErrorNumber : int {
  kInvalidArgument = 5,   // Invalid procedure call or argument
  kOverflow = 6,          // Overflow
  kTypeMismatch = 13,     // Type mismatch
  kNoSuchProperty = 438,  // Object doesn't support this property or method
};

class ProgramError : public std::exception {
 public:
  explicit ProgramError(ErrorNumber number);
  ProgramError(int number, std::string description);

  int number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int number_;
  std::string description_;
};

// The standard description of a known error number; "Application-defined
// or object-defined error" for any other.
std::string DescribeError(int number);

}  // namespace orvane
