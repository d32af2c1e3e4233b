#include "system/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orvane {

namespace {

// A positive decimal of up to 17 significant digits: d.ddd times ten to the
// power `exponent`. The first digit is never 0.
struct Decimal {
  char digits[18];
  int count;
  int exponent;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// `value` (finite and positive) correctly rounded to `precision` digits.
Decimal Rounded(double value, int precision) {
  char buffer[40];
  std::snprintf(buffer, sizeof(buffer), "%.*e", precision - 1, value);
  Decimal decimal{{}, 0, 0};
  const char* p = buffer;
  for (; *p != 'e' && *p != '\0'; ++p) {
    if (IsDigit(*p)) decimal.digits[decimal.count++] = *p;
  }
  if (*p == 'e') decimal.exponent = std::atoi(p + 1);
  return decimal;
}

// The double nearest to `decimal`, infinity beyond the largest. (MinGW-w64's
// strtod gives the power of two for some decimals just below one.)
double Nearest(const Decimal& decimal) {
  char buffer[40];
  const int length = std::snprintf(buffer, sizeof(buffer), "%.*se%d", decimal.count, decimal.digits,
                                   decimal.exponent - decimal.count + 1);
  double value = 0;
  if (std::from_chars(buffer, buffer + length, value).ec == std::errc::result_out_of_range)
    value = decimal.exponent > 0 ? HUGE_VAL : 0.0;
  return value;
}

// The decimal of the same number of digits next to `decimal`, one unit of
// its last digit up or down, without trailing zeros.
Decimal Next(Decimal decimal, bool up) {
  int i = decimal.count - 1;
  if (up) {
    while (i >= 0 && decimal.digits[i] == '9') decimal.digits[i--] = '0';
    if (i < 0) {  // 99..9 becomes 10..0, one digit longer
      decimal.digits[0] = '1';
      decimal.count = 1;
      ++decimal.exponent;
      return decimal;
    }
    ++decimal.digits[i];
  } else {
    while (decimal.digits[i] == '0') decimal.digits[i--] = '9';
    if (i == 0 && decimal.digits[0] == '1') {  // 10..0 becomes 99..9, an order lower
      decimal.digits[0] = '9';
      --decimal.exponent;
    } else {
      --decimal.digits[i];
    }
  }
  while (decimal.count > 1 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
  return decimal;
}

// The fewest digits that read back as `value` (finite and positive), the
// closest to it among as many digits. Rounding to n digits gives the
// closest n-digit decimal; where it does not read back, the one on the
// other side of `value` still can, as the gap below a power of two is
// half the gap above it.
Decimal Shortest(double value) {
  for (int precision = 1; precision <= 17; ++precision) {
    const Decimal nearest = Rounded(value, precision);
    const double back = Nearest(nearest);
    if (back == value) return nearest;
    const Decimal other = Next(nearest, back < value);
    if (Nearest(other) == value) return other;
  }
  return Rounded(value, 17);  // not reached: 17 digits always read back
}

int DigitCount(int number) { return number >= 100 ? 3 : 2; }

}  // namespace

std::string ShortestText(double value) {
  std::string text = std::signbit(value) ? "-" : "";
  if (std::isnan(value)) return text + "nan";
  if (std::isinf(value)) return text + "inf";
  if (value == 0) return text + "0";
  value = std::fabs(value);

  const Decimal decimal = Shortest(value);
  const int count = decimal.count;
  const int exponent = decimal.exponent;
  const int scientific_length =
      count + (count > 1 ? 1 : 0) + 2 + DigitCount(exponent < 0 ? -exponent : exponent);
  const int fixed_length = exponent >= count - 1 ? exponent + 1
                           : exponent >= 0       ? count + 1
                                                 : count + 1 - exponent;
  char buffer[40];
  if (fixed_length > scientific_length) {
    std::snprintf(buffer, sizeof(buffer), "%c%s%.*se%c%02d", decimal.digits[0],
                  count > 1 ? "." : "", count - 1, decimal.digits + 1, exponent < 0 ? '-' : '+',
                  exponent < 0 ? -exponent : exponent);
    return text + buffer;
  }
  if (exponent >= count - 1) {
    // A whole number. Of the texts of that length the closest to the value
    // is the value itself, all of its digits.
    std::snprintf(buffer, sizeof(buffer), "%.0f", value);
    return text + buffer;
  }
  if (exponent >= 0) {
    text.append(decimal.digits, static_cast<std::size_t>(exponent) + 1);
    text += '.';
    return text.append(decimal.digits + exponent + 1,
                       static_cast<std::size_t>(count - exponent - 1));
  }
  text += "0.";
  text.append(static_cast<std::size_t>(-exponent - 1), '0');
  return text.append(decimal.digits, static_cast<std::size_t>(count));
}

}  // namespace orvane
