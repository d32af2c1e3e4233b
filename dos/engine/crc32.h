// CRC-32 (the reflected polynomial EDB88320h of zip and Ethernet): eight
// bytes a step with eight tables, or natively on x86-64 with carry-less
// multiplication where the CPU has it.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace orvane::dos {

// Fills the tables; cheap after the first call. Crc32 calls it itself, but
// a real-mode program calls it at start so the first chunk is not slower.
void Crc32Init();

// Continues `crc` (0 to start) over `size` bytes.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t size);

}  // namespace orvane::dos
