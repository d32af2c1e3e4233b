#include "system/program_error.h"

#include <utility>

namespace orvane {

std::string DescribeError(int number) {
  switch (number) {
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 13:
      return "Type mismatch";
    case 438:
      return "Object doesn't support this property or method";
    default:
      return "Application-defined or object-defined error";
  }
}

ProgramError::ProgramError(ErrorNumber number)
    : ProgramError(static_cast<int>(number), DescribeError(static_cast<int>(number))) {}

ProgramError::ProgramError(int number, std::string description)
    : number_(number), description_(std::move(description)) {}

}  // namespace orvane
