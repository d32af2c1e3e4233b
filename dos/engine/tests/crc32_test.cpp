#include "dos/engine/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace orvane::dos {
namespace {

uint32_t BitByBit(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

// Every length around the fast paths' block sizes, at every alignment, and
// split anywhere: the same as the bit-by-bit definition.
TEST(Crc32, EqualsTheDefinitionAtEveryLengthAlignmentAndSplit) {
  const uint8_t check[] = "123456789";
  EXPECT_EQ(Crc32(0, check, 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(0, check, 0), 0u);

  std::mt19937 random(42);
  std::vector<uint8_t> bytes(40000 + 16);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  for (size_t align = 0; align < 16; ++align) {
    for (size_t size = 0; size < 300; ++size) {
      ASSERT_EQ(Crc32(0, bytes.data() + align, size), BitByBit(bytes.data() + align, size))
          << "size " << size << " at " << align;
    }
  }
  for (size_t size : {1023u, 1024u, 32768u, 32768u + 15, 40000u}) {
    const uint32_t whole = BitByBit(bytes.data() + 3, size);
    ASSERT_EQ(Crc32(0, bytes.data() + 3, size), whole) << size;
    for (size_t split : {size_t{1}, size_t{63}, size / 2, size - 5}) {
      ASSERT_EQ(Crc32(Crc32(0, bytes.data() + 3, split), bytes.data() + 3 + split, size - split),
                whole)
          << size << " split at " << split;
    }
  }
}

}  // namespace
}  // namespace orvane::dos
