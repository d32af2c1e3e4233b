// Image files on the host: parts named as the DOS programs name them, a
// new part begun when one reaches `part_limit` bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dos/engine/disk.h"

namespace orvane::dos::host {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

std::string PartPath(const std::string& first, unsigned index);

class ImageFileWriter final : public ImageOutput {
 public:
  ImageFileWriter(std::string first, uint64_t part_limit)
      : first_(std::move(first)), limit_(part_limit) {}
  // A full drive is kFileFull; errno stays in system_error().
  Status Write(const uint8_t* data, uint32_t size) override;
  // Flushes and closes the last part; false when that fails.
  bool Close();
  // Closes and removes every part written: what a failed backup leaves.
  void Discard();
  unsigned parts() const { return index_ + (file_ ? 1 : 0); }
  // The part written last (or that could not be made), and errno of the
  // last open, write or close that failed (0 when none).
  const std::string& part() const { return part_; }
  int system_error() const { return error_; }

 private:
  Status Failed(Fault fault);
  std::string first_;
  uint64_t limit_;
  UniqueFile file_;
  std::string part_;
  unsigned index_ = 0;
  unsigned created_ = 0;  // parts made so far
  uint64_t in_part_ = 0, total_ = 0;
  int error_ = 0;
};

class ImageFileReader final : public ImageInput {
 public:
  explicit ImageFileReader(std::string first) : first_(std::move(first)) {}
  // False when the first part cannot be opened (errno tells why).
  bool Open();
  // kPartMissing when more bytes are wanted at the end of a part and the
  // next part cannot be opened, although the image goes on: that part is
  // there but unreadable, a later part exists, or the part that ended is
  // as long as the first (a part is begun only when the one before is
  // full). Otherwise the image ends there.
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override;
  unsigned parts_opened() const { return index_ + 1; }

 private:
  bool GoesOnAfter(unsigned missing, int open_error) const;
  std::string first_;
  UniqueFile file_;
  unsigned index_ = 0;
  uint64_t total_ = 0;
  uint64_t in_part_ = 0, first_part_ = 0;  // bytes read from this part, from the first
  bool ended_ = false;
};

// A partition (or a whole disk) held in a file.
class FileDisk final : public SectorDisk {
 public:
  // Opens `path` for reading, or for reading and writing. False, with the
  // reason in `*why` when given, when it cannot be opened or does not hold
  // a whole number of sectors fewer than 2^32 (2 TiB).
  bool Open(const std::string& path, bool writable, std::string* why = nullptr);
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override;
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override;
  uint32_t SectorCount() override { return sectors_; }

 private:
  UniqueFile file_;
  uint32_t sectors_ = 0;
};

// Batch memory in the process's own memory, as much as asked for.
class MemoryBatch : public BatchMemory {
 public:
  // 4 MiB: what BF and HF take from XMS.
  static constexpr uint32_t kDefaultBytes = 4u << 20;
  explicit MemoryBatch(uint32_t bytes = kDefaultBytes) : bytes_(bytes) {}
  uint32_t Capacity() override { return static_cast<uint32_t>(bytes_.size()); }
  bool Put(uint32_t at, const uint8_t* data, uint32_t size) override;
  bool Get(uint32_t at, uint8_t* data, uint32_t size) override;

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace orvane::dos::host
