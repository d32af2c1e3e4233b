// LZ4 blocks (the LZ4 block format, without a frame) for the image's
// chunks: a greedy compressor with one hash probe a position, and a
// decoder that checks every length and offset against its two buffers.
#pragma once

#include <stdint.h>

namespace orvane::dos {

// 12 bits natively; 10 in real mode, where the table must fit the full data
// segment (the blocks there are 16 KiB: about 1% less compression).
#if defined(ORVANE_REAL_MODE)
constexpr uint32_t kLz4HashBits = 10;
#else
constexpr uint32_t kLz4HashBits = 12;
#endif
struct Lz4Table {
  uint16_t slots[1u << kLz4HashBits];  // positions in the block (blocks are < 64 KiB)
};

// Compresses `size` bytes (at most 65535) into one LZ4 block. Returns the
// block's size, or 0 when it would need more than `capacity` bytes (the
// caller then keeps the data as it is). `table` is scratch.
uint32_t Lz4Compress(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t capacity,
                     Lz4Table& table);

// Decodes one LZ4 block of `size` bytes. True only when it decodes to
// exactly `expected` bytes; never reads outside [in, in + size) nor writes
// outside [out, out + expected), whatever the input.
bool Lz4Decompress(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t expected);

// The room to leave after `expected` bytes so that a block of `size` bytes
// placed at the end of a buffer of expected + Lz4InPlaceMargin(size) bytes
// decodes into the buffer's start (in place).
constexpr uint32_t Lz4InPlaceMargin(uint32_t size) { return (size >> 8) + 32; }

}  // namespace orvane::dos
