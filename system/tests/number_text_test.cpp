// ShortestText against std::to_chars, which it stands in for.
#include "system/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace orvane {
namespace {

double FromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

// The first ten values that the two write differently.
struct Differences {
  int count = 0;
  std::string report;
  void Add(const std::string& line) {
    if (count++ < 10) report += "\n  " + line;
  }
};

TEST(NumberTextTest, WritesAsToCharsDoes) {
  Differences differences;
  const auto write = [&differences](double value) {
    char buffer[64];
    const std::string expected(buffer, std::to_chars(buffer, buffer + sizeof(buffer), value).ptr);
    const std::string text = ShortestText(value);
    if (text != expected) differences.Add(expected + " written as " + text);
  };
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  constexpr double kLargest = std::numeric_limits<double>::max();
  for (const double value :
       {0.0, -0.0, kInfinity, -kInfinity, kLargest, -kLargest, std::nextafter(kLargest, 0.0),
        std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(), 1e21, 1e22,
        1e23, 123456.0, 0.001, 1e-4, 1.5e300, -2.5e-300, 10000.0, 9007199254740993.0}) {
    write(value);
  }
  // The gap below a power of two is half the gap above: the nearest short
  // decimal may not read back where the next one up does.
  for (int exponent = -1074; exponent <= 1023; ++exponent) {
    const double power = std::ldexp(1.0, exponent);
    write(power);
    write(std::nextafter(power, 0.0));
    write(std::nextafter(power, kInfinity));
  }
  std::mt19937_64 random(20260115);
  for (int i = 0; i < 8000; ++i) {
    const double value = FromBits(random());
    if (!std::isnan(value)) write(value);
    // Whole numbers beyond 2^53 and short decimals of every size, where
    // fixed and scientific notation come close in length.
    write(static_cast<double>(random() >> (random() % 64)));
    write(static_cast<double>(random() % 100000) *
          std::pow(10.0, static_cast<int>(random() % 50) - 25));
  }
  EXPECT_EQ(differences.count, 0) << differences.report;
}

}  // namespace
}  // namespace orvane
