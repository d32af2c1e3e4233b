#include "dos/engine/crc32.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orvane::dos {
namespace {

// Eight tables natively; four in real mode, whose one data segment has no
// room for more.
#if defined(ORVANE_REAL_MODE)
constexpr int kTables = 4;
#else
constexpr int kTables = 8;
#endif
uint32_t table[kTables][256];
bool ready = false;
#if defined(__x86_64__)
bool clmul = false;  // the CPU has carry-less multiplication
#endif

}  // namespace

void Crc32Init() {
  if (ready) return;
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int t = 1; t < kTables; ++t)
      table[t][n] = (table[t - 1][n] >> 8) ^ table[0][table[t - 1][n] & 0xFF];
  }
#if defined(__x86_64__)
  clmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#endif
  ready = true;
}

namespace {

// Eight (real mode: four) bytes a step with as many tables.
uint32_t Crc32Tables(uint32_t crc, const uint8_t* data, size_t size) {
  crc = ~crc;
  while (size && (reinterpret_cast<uintptr_t>(data) & 3)) {
    crc = table[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    --size;
  }
#if defined(ORVANE_REAL_MODE)
  while (size >= 4) {
    uint32_t word;
    __builtin_memcpy(&word, data, 4);
    word ^= crc;
    crc = table[3][word & 0xFF] ^ table[2][(word >> 8) & 0xFF] ^ table[1][(word >> 16) & 0xFF] ^
          table[0][word >> 24];
    data += 4;
    size -= 4;
  }
#endif
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

#if defined(__x86_64__)
// Natively on x86-64: folding with carry-less multiplication (four 128-bit lanes), then a
// Barrett reduction; the tail of fewer than 16 bytes goes through the table.
__attribute__((target("pclmul,sse4.1"))) uint32_t CrcClmul(uint32_t crc, const uint8_t* buf,
                                                           size_t len) {
  if (len < 64) return Crc32Tables(crc, buf, len);
  alignas(16) static const uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static const uint64_t poly[] = {0x01db710641, 0x01f7011641};
  __m128i x0, x1, x2, x3, x4, x5, x6, x7, x8, y5, y6, y7, y8;
  x1 = _mm_loadu_si128((const __m128i*)(buf + 0x00));
  x2 = _mm_loadu_si128((const __m128i*)(buf + 0x10));
  x3 = _mm_loadu_si128((const __m128i*)(buf + 0x20));
  x4 = _mm_loadu_si128((const __m128i*)(buf + 0x30));
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(~crc)));
  x0 = _mm_load_si128((const __m128i*)k1k2);
  buf += 64;
  len -= 64;
  while (len >= 64) {
    x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
    x6 = _mm_clmulepi64_si128(x2, x0, 0x00);
    x7 = _mm_clmulepi64_si128(x3, x0, 0x00);
    x8 = _mm_clmulepi64_si128(x4, x0, 0x00);
    x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
    x2 = _mm_clmulepi64_si128(x2, x0, 0x11);
    x3 = _mm_clmulepi64_si128(x3, x0, 0x11);
    x4 = _mm_clmulepi64_si128(x4, x0, 0x11);
    y5 = _mm_loadu_si128((const __m128i*)(buf + 0x00));
    y6 = _mm_loadu_si128((const __m128i*)(buf + 0x10));
    y7 = _mm_loadu_si128((const __m128i*)(buf + 0x20));
    y8 = _mm_loadu_si128((const __m128i*)(buf + 0x30));
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), y5);
    x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), y6);
    x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), y7);
    x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), y8);
    buf += 64;
    len -= 64;
  }
  x0 = _mm_load_si128((const __m128i*)k3k4);
  x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
  x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
  x1 = _mm_xor_si128(_mm_xor_si128(x1, x2), x5);
  x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
  x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
  x1 = _mm_xor_si128(_mm_xor_si128(x1, x3), x5);
  x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
  x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
  x1 = _mm_xor_si128(_mm_xor_si128(x1, x4), x5);
  while (len >= 16) {
    x2 = _mm_loadu_si128((const __m128i*)buf);
    x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
    x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x2), x5);
    buf += 16;
    len -= 16;
  }
  x2 = _mm_clmulepi64_si128(x1, x0, 0x10);
  x3 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_srli_si128(x1, 8);
  x1 = _mm_xor_si128(x1, x2);
  x0 = _mm_loadl_epi64((const __m128i*)k5k0);
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_and_si128(x1, x3);
  x1 = _mm_clmulepi64_si128(x1, x0, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  x0 = _mm_load_si128((const __m128i*)poly);
  x2 = _mm_and_si128(x1, x3);
  x2 = _mm_clmulepi64_si128(x2, x0, 0x10);
  x2 = _mm_and_si128(x2, x3);
  x2 = _mm_clmulepi64_si128(x2, x0, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  const uint32_t folded = ~static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
  return Crc32Tables(folded, buf, len);
}

#endif

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size) {
  Crc32Init();
#if defined(__x86_64__)
  if (clmul) return CrcClmul(crc, data, size);
#endif
  return Crc32Tables(crc, data, size);
}

}  // namespace orvane::dos
