// The engine's view of a disk and of an image file. The DOS programs
// implement these over INT 13h and INT 21h, the native build over files
// and memory.
#pragma once

#include <stdint.h>

#include "dos/engine/status.h"

namespace orvane::dos {

constexpr uint32_t kSectorSize = 512;

// A disk of 512-byte sectors addressed by absolute sector number (LBA).
class SectorDisk {
 public:
  // Reads `count` sectors from `lba` into `buffer`. On failure the status
  // is kDiskRead with the first sector that could not be read.
  virtual Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) = 0;
  // Writes `count` sectors at `lba`. On failure: kDiskWrite.
  virtual Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) = 0;
  // The number of sectors the disk has (0 when it cannot tell).
  virtual uint32_t SectorCount() = 0;

 protected:
  ~SectorDisk() = default;
};

// Where an image is written to: one byte stream, which the implementation
// may split into parts.
class ImageOutput {
 public:
  // Appends `size` bytes. On failure: kFileWrite, or kFileFull.
  virtual Status Write(const uint8_t* data, uint32_t size) = 0;

 protected:
  ~ImageOutput() = default;
};

// Where an image is read from, in order, across its parts.
class ImageInput {
 public:
  // Reads up to `size` bytes; `*got` is less than `size` only at the end of
  // the last part. On failure: kFileRead, or kPartMissing.
  virtual Status Read(uint8_t* data, uint32_t size, uint32_t* got) = 0;

 protected:
  ~ImageInput() = default;
};

// Memory beyond the workspace, where a backup gathers the chunks it has
// read of the partition (packed) before it writes them, and a restore what it will
// write to the partition: one disk then serves a long run of reads and a
// long run of writes, not a seek between them every few kilobytes. The DOS
// programs keep it in conventional memory or XMS, reached a piece at a
// time; offsets and sizes are even. Put and Get return false when the
// memory fails them (it should not).
class BatchMemory {
 public:
  virtual uint32_t Capacity() = 0;
  virtual bool Put(uint32_t at, const uint8_t* data, uint32_t size) = 0;
  virtual bool Get(uint32_t at, uint8_t* data, uint32_t size) = 0;

 protected:
  ~BatchMemory() = default;
};

// Told how far a long operation has come, in sectors of partition data.
class Progress {
 public:
  virtual void Update(uint32_t done, uint32_t total) = 0;

 protected:
  ~Progress() = default;
};

}  // namespace orvane::dos
