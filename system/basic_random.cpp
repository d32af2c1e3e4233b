#include "system/basic_random.h"

#include <bit>
#include <cstdint>

namespace orvane::basic_random {
namespace {

constexpr std::uint32_t kMask = 0xFFFFFF;
std::uint32_t state = 0x50000;

float Step() {
  const std::uint32_t next = (state * 0x43FD43FDu + 0xC39EC3u) & kMask;
  state = next;
  return static_cast<float>(next) / 16777216.0f;
}

}  // namespace

float Draw() { return Step(); }

float Draw(float x) {
  const std::uint32_t u = std::bit_cast<std::uint32_t>(x);
  state = (u + (u >> 24)) & kMask;
  return Step();
}

void Reseed(double n) {
  const auto h = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(n) >> 32);
  state = (state & 0xFF0000FFu) | (((h ^ (h >> 16)) & 0xFFFFu) << 8);
}

std::int32_t Offset96(float value) {
  // value is m / 2^24 with m below 2^24 (every value Draw returns), so
  // 96 * value = 3m / 2^19 exactly. 3m has up to 26 significant bits;
  // rounding it to 24 (to nearest, ties to even) is the single-precision
  // product, done in integers so that no build's floating point
  // (x87 excess precision included) can change it.
  const auto m = static_cast<std::uint32_t>(value * 16777216.0f);
  const std::uint32_t product = 3 * m;
  const std::uint32_t drop = product >> 24;  // 0, 1 or 2 bits beyond 24
  const std::uint32_t bias =
      (((1u << drop) >> 1) + ((product >> drop) & 1u) - 1u) & ((1u << drop) - 1u);
  const std::uint32_t rounded = ((product + bias) >> drop) << drop;
  return static_cast<std::int32_t>(rounded >> 19);
}

std::uint32_t State() { return state; }

}  // namespace orvane::basic_random
