// Disks and images held in memory for the imaging engine's fuzz targets: a
// disk that reads from the fuzz input, an image output that keeps what is
// written, and an image input read from one or two parts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "dos/engine/disk.h"

namespace orvane::fuzz {

// A disk of `sectors` sectors: the first hold `bytes` (a short last sector
// padded with zeros), the rest read as zeros. It fails a read past its end
// or beyond `read_limit` reads, and every write.
class MemoryDisk final : public dos::SectorDisk {
 public:
  MemoryDisk(std::span<const std::uint8_t> bytes, std::uint32_t sectors)
      : bytes_(bytes), sectors_(sectors) {}

  dos::Status Read(std::uint32_t lba, std::uint16_t count, std::uint8_t* buffer) override {
    ++reads;
    if (reads > read_limit || std::uint64_t{lba} + count > sectors_) {
      return dos::Status::Fail(dos::Fault::kDiskRead, lba);
    }
    const std::uint64_t from = std::uint64_t{lba} * dos::kSectorSize;
    const std::size_t size = std::size_t{count} * dos::kSectorSize;
    const std::size_t held = from < bytes_.size() ? std::min(size, bytes_.size() - from) : 0;
    if (held > 0) std::memcpy(buffer, bytes_.data() + from, held);
    std::memset(buffer + held, 0, size - held);
    return dos::Status::Ok();
  }
  dos::Status Write(std::uint32_t lba, std::uint16_t, const std::uint8_t*) override {
    return dos::Status::Fail(dos::Fault::kDiskWrite, lba);
  }
  std::uint32_t SectorCount() override { return sectors_; }

  std::uint32_t reads = 0;
  std::uint32_t read_limit = UINT32_MAX;

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint32_t sectors_;
};

class MemoryOutput final : public dos::ImageOutput {
 public:
  dos::Status Write(const std::uint8_t* data, std::uint32_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return dos::Status::Ok();
  }
  std::vector<std::uint8_t> bytes;
};

// `first` then `second`, read across the boundary as the host reads the
// parts of an image. With `second_missing`, a read that needs more than
// the first part fails as a part that cannot be opened.
class PartsInput final : public dos::ImageInput {
 public:
  PartsInput(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second = {},
             bool second_missing = false)
      : parts_{first, second}, second_missing_(second_missing) {}

  dos::Status Read(std::uint8_t* data, std::uint32_t size, std::uint32_t* got) override {
    *got = 0;
    while (size > 0) {
      const std::span<const std::uint8_t> part = parts_[index_];
      const std::size_t n = std::min<std::size_t>(size, part.size() - at_);
      if (n > 0) std::memcpy(data, part.data() + at_, n);
      data += n;
      size -= static_cast<std::uint32_t>(n);
      *got += static_cast<std::uint32_t>(n);
      at_ += n;
      if (size == 0 || index_ == 1) break;
      if (second_missing_) return dos::Status::Fail(dos::Fault::kPartMissing, 0, 1);
      index_ = 1;
      at_ = 0;
    }
    return dos::Status::Ok();
  }

 private:
  std::span<const std::uint8_t> parts_[2];
  bool second_missing_;
  std::size_t index_ = 0, at_ = 0;
};

}  // namespace orvane::fuzz
