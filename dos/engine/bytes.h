// Little-endian fields and byte helpers that build freestanding as well as
// natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace orvane::dos {

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  Store16(p, static_cast<uint16_t>(v));
  Store16(p + 2, static_cast<uint16_t>(v >> 16));
}

inline void CopyBytes(void* to, const void* from, size_t size) { __builtin_memcpy(to, from, size); }
inline void FillBytes(void* to, uint8_t value, size_t size) { __builtin_memset(to, value, size); }
inline bool SameBytes(const void* a, const void* b, size_t size) {
  return __builtin_memcmp(a, b, size) == 0;
}

}  // namespace orvane::dos
