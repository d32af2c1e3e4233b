// Value types shared by the utility classes and the main window.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// Automation-style boolean: 16 bits, true is -1 and false is 0. Any other
// value is representable on purpose; several operations treat it as
// "neither" and do nothing.
using Boolean = std::int16_t;
inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

// Predefined registry roots as the automation interface passes them: the
// 32-bit key numbers, signed.
inline constexpr std::int32_t kHkeyCurrentUser = static_cast<std::int32_t>(0x80000001u);
inline constexpr std::int32_t kHkeyLocalMachine = static_cast<std::int32_t>(0x80000002u);

}  // namespace orvane
