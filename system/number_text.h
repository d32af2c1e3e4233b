// The decimal text of a double, written exactly as the standard library's
// std::to_chars writes it, but without its tables: the digits come from
// the C library's correctly rounded snprintf (MinGW-w64's own, which
// libstdc++ selects for C++ programs on Windows), and std::from_chars
// checks that they read back. std::to_chars brings about 200 KB of tables
// and code into a static program.
#pragma once

#include <string>

namespace orvane {

// The shortest text that reads back as `value`, in fixed or scientific
// notation, whichever is shorter (fixed on a tie); among texts of that
// length, the one closest to `value`. "inf", "nan" and "-0" for the special
// values. The same text as std::to_chars(first, last, value).
std::string ShortestText(double value);

}  // namespace orvane
