// The pseudo-random generator of the classic BASIC runtimes: one 24-bit
// state for the whole process, shared by every draw, so that text
// enciphered elsewhere with that generator deciphers here.
#pragma once

#include <cstdint>

namespace orvane::basic_random {

// The next value, 0 <= value < 1: one step of the state.
float Draw();

// A draw with a negative argument: sets the state from `x`'s single-
// precision bit pattern, then takes one step. Draw(-1) always leaves the
// state 0x395886.
float Draw(float x);

// Mixes `n`'s double-precision bit pattern into the middle two bytes of
// the state.
void Reseed(double n);

// The integer part of 96 times `value`, the product rounded to single
// precision as the runtime does, identical in every build.
std::int32_t Offset96(float value);

// The state, for tests.
std::uint32_t State();

}  // namespace orvane::basic_random
