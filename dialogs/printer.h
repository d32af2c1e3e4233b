// A printer as QorDialog sees it: the three texts of one installed
// printer that make up a default-printer entry.
#pragma once

#include <string>

namespace orvane {

class Printer {
 public:
  virtual ~Printer() = default;
  // Each may raise a ProgramError, which reaches the caller of the
  // operation that asked.
  virtual std::u16string DeviceName() const = 0;
  virtual std::u16string DriverName() const = 0;
  virtual std::u16string Port() const = 0;
};

}  // namespace orvane
