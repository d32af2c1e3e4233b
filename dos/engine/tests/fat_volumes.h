// FAT volumes made with mkfs.fat and filled with mtools, for the engine's
// tests, and a disk in memory that can fail on chosen sectors.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dos/engine/disk.h"

namespace orvane::dos::testing {

// Runs a shell command; returns its exit status and, in `output`, what it
// printed.
int Shell(const std::string& command, std::string* output = nullptr);

// A fresh folder for one test, removed by the destructor.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

enum class Fill { kFiles, kFragmented, kNearlyFull };

// Makes `path`, a FAT volume of `kib` KiB (fat_bits 12, 16 or 32, clusters
// of `cluster_bytes`), and fills it; the same files go below `files_dir`
// so that they can be compared afterwards. Fails the test on error.
void MakeVolume(const std::string& path, int fat_bits, int cluster_bytes, uint32_t kib, Fill fill,
                const std::string& files_dir, uint32_t seed);

// Turns a FAT32 volume's mirroring off with FAT 1 active, and leaves FAT 0
// stale: as a fresh volume's, nothing in use but the root directory's
// first cluster. What follows the flag (DOS, mtools when it reads) sees
// every file; a reader of FAT 0 sees none.
void ActivateSecondFat(const std::string& path);

// The bytes of the volume in use: everything before the data area and
// every allocated cluster, from what mtools reports free.
uint64_t AllocatedBytes(const std::string& path);

// A disk held in memory, with sectors that fail to read or write.
class MemoryDisk final : public SectorDisk {
 public:
  explicit MemoryDisk(uint32_t sectors) : bytes_(size_t{sectors} * kSectorSize) {}
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override;
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override;
  uint32_t SectorCount() override { return static_cast<uint32_t>(bytes_.size() / kSectorSize); }

  std::vector<uint8_t>& bytes() { return bytes_; }
  std::vector<uint32_t> bad_reads, bad_writes;
  uint32_t writes = 0;

 private:
  std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace orvane::dos::testing
