#include "dos/engine/crc32.h"

namespace orvane::dos {
namespace {

uint32_t table[8][256];
bool ready = false;

}  // namespace

void Crc32Init() {
  if (ready) return;
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int t = 1; t < 8; ++t)
      table[t][n] = (table[t - 1][n] >> 8) ^ table[0][table[t - 1][n] & 0xFF];
  }
  ready = true;
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
  Crc32Init();
  crc = ~crc;
  while (size && (reinterpret_cast<uintptr_t>(data) & 3)) {
    crc = table[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    --size;
  }
  while (size >= 8) {
    uint32_t lo, hi;
    __builtin_memcpy(&lo, data, 4);
    __builtin_memcpy(&hi, data + 4, 4);
    lo ^= crc;
    crc = table[7][lo & 0xFF] ^ table[6][(lo >> 8) & 0xFF] ^ table[5][(lo >> 16) & 0xFF] ^
          table[4][lo >> 24] ^ table[3][hi & 0xFF] ^ table[2][(hi >> 8) & 0xFF] ^
          table[1][(hi >> 16) & 0xFF] ^ table[0][hi >> 24];
    data += 8;
    size -= 8;
  }
  while (size--) crc = table[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace orvane::dos
