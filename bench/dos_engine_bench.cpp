// Speed of the imaging engine on a 256 MiB partition held in memory:
// making its image in memory (PlanImage, then WriteImage) and verifying
// that image (VerifyImage). Throughput counts the partition data imaged.
// Two partitions: a FAT32 volume with 512-byte clusters, 90% of them in
// use in four fragments, and one with no FAT volume, imaged sector by
// sector.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "dos/engine/bytes.h"
#include "dos/engine/image.h"

namespace {

using namespace orvane::dos;

constexpr uint32_t kPartitionSectors = 256 * 2048;

class PartitionDisk final : public SectorDisk {
 public:
  explicit PartitionDisk(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override {
    if (uint64_t{lba} + count > SectorCount()) return Status::Fail(Fault::kDiskRead, lba);
    std::memcpy(buffer, bytes_.data() + uint64_t{lba} * kSectorSize, size_t{count} * kSectorSize);
    return Status::Ok();
  }
  Status Write(uint32_t lba, uint16_t, const uint8_t*) override {
    return Status::Fail(Fault::kDiskWrite, lba);
  }
  uint32_t SectorCount() override { return static_cast<uint32_t>(bytes_.size() / kSectorSize); }

 private:
  const std::vector<uint8_t>& bytes_;
};

// An image in a buffer allocated (and touched) once, written and read
// again from the start.
class MemoryImage final : public ImageOutput, public ImageInput {
 public:
  explicit MemoryImage(uint64_t size) : bytes_(size) {}
  Status Write(const uint8_t* data, uint32_t size) override {
    if (size > bytes_.size() - at_) return Status::Fail(Fault::kFileFull);
    std::memcpy(bytes_.data() + at_, data, size);
    at_ += size;
    return Status::Ok();
  }
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override {
    *got = static_cast<uint32_t>(std::min<size_t>(size, bytes_.size() - at_));
    std::memcpy(data, bytes_.data() + at_, *got);
    at_ += *got;
    return Status::Ok();
  }
  void Rewind() { at_ = 0; }

 private:
  std::vector<uint8_t> bytes_;
  size_t at_ = 0;
};

// Data sectors hold a pattern of their position, not zeros.
std::vector<uint8_t> PatternedSectors() {
  std::vector<uint8_t> bytes(size_t{kPartitionSectors} * kSectorSize);
  for (size_t i = 0; i < bytes.size(); i += 8) {
    const uint64_t word = (i * 0x9E3779B97F4A7C15ull) ^ (i >> 9);
    std::memcpy(&bytes[i], &word, 8);
  }
  return bytes;
}

// FAT32: 32 reserved sectors, two FATs, one sector a cluster.
std::vector<uint8_t> MakeFat32Partition() {
  std::vector<uint8_t> bytes = PatternedSectors();
  constexpr uint32_t kReserved = 32;
  uint32_t fat_sectors = 1, clusters = 0;
  for (;;) {
    clusters = kPartitionSectors - kReserved - 2 * fat_sectors;
    const uint32_t needed = ((clusters + 2) * 4 + kSectorSize - 1) / kSectorSize;
    if (needed <= fat_sectors) break;
    fat_sectors = needed;
  }
  const uint32_t first_data = kReserved + 2 * fat_sectors;
  std::fill_n(bytes.begin(), size_t{first_data} * kSectorSize, 0);

  uint8_t* boot = bytes.data();
  boot[0] = 0xEB;
  boot[1] = 0x58;
  boot[2] = 0x90;
  std::memcpy(boot + 3, "ORVANE  ", 8);
  Store16(boot + 0x0B, kSectorSize);
  boot[0x0D] = 1;
  Store16(boot + 0x0E, kReserved);
  boot[0x10] = 2;
  boot[0x15] = 0xF8;
  Store32(boot + 0x20, kPartitionSectors);
  Store32(boot + 0x24, fat_sectors);
  Store32(boot + 0x2C, 2);  // the root directory's cluster
  Store16(boot + 0x30, 1);  // FSInfo
  Store16(boot + 0x32, 6);  // the boot sector's copy
  boot[0x40] = 0x80;
  boot[0x42] = 0x29;
  Store32(boot + 0x43, 0x0BE7C4A5);
  std::memcpy(boot + 0x47, "BENCH      ", 11);
  std::memcpy(boot + 0x52, "FAT32   ", 8);
  boot[510] = 0x55;
  boot[511] = 0xAA;

  // Four fragments: 30%, 25%, 20% and 15% of the clusters, with gaps of
  // 2%, 3% and 1% between them and the last 4% free.
  const uint32_t percent = clusters / 100;
  const uint32_t lengths[] = {30 * percent, 25 * percent, 20 * percent, 15 * percent};
  const uint32_t gaps[] = {2 * percent, 3 * percent, 1 * percent, 0};
  for (uint32_t copy = 0; copy < 2; ++copy) {
    uint8_t* fat = bytes.data() + size_t{kReserved + copy * fat_sectors} * kSectorSize;
    Store32(fat, 0x0FFFFFF8);
    Store32(fat + 4, 0x0FFFFFFF);
    uint32_t cluster = 2;
    for (int f = 0; f < 4; ++f) {
      const uint32_t end = cluster + lengths[f];
      for (; cluster < end; ++cluster) {
        Store32(fat + size_t{cluster} * 4, cluster + 1 < end ? cluster + 1 : 0x0FFFFFFF);
      }
      cluster += gaps[f];
    }
  }
  return bytes;
}

// No boot sector signature: not a volume the engine reads.
std::vector<uint8_t> MakeRawPartition() {
  std::vector<uint8_t> bytes = PatternedSectors();
  bytes[510] = 0;
  bytes[511] = 0;
  return bytes;
}

const std::vector<uint8_t>& Fat32Partition() {
  static const std::vector<uint8_t> bytes = MakeFat32Partition();
  return bytes;
}

const std::vector<uint8_t>& RawPartition() {
  static const std::vector<uint8_t> bytes = MakeRawPartition();
  return bytes;
}

// The partition, described as the DOS programs describe it, and its plan.
struct Source {
  explicit Source(const std::vector<uint8_t>& bytes) : disk(bytes) {
    source.partition.type = 0x0C;
    source.partition.first = 0;
    source.partition.count = disk.SectorCount();
    ok = ReadVolumeLayout(disk, source.partition, ws->record, &source.layout).ok() &&
         PlanImage(disk, source, *ws, &plan).ok();
  }
  PartitionDisk disk;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  ImageSource source;
  ImageSummary plan;
  bool ok = false;
};

void WriteFromMemory(benchmark::State& state, const std::vector<uint8_t>& (*partition)(),
                     FileSystem fs) {
  Source s(partition());
  if (!s.ok || s.source.layout.fs != fs) return state.SkipWithError("the partition is not read");
  MemoryImage image(s.plan.bytes);
  for (auto _ : state) {
    image.Rewind();
    ImageSummary plan, written;
    if (!PlanImage(s.disk, s.source, *s.ws, &plan).ok() ||
        !WriteImage(s.disk, s.source, plan, 0, 0, image, *s.ws, nullptr, &written).ok()) {
      return state.SkipWithError("WriteImage failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * s.plan.data_sectors *
                          kSectorSize);
}
BENCHMARK_CAPTURE(WriteFromMemory, fat32, Fat32Partition, FileSystem::kFat32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(WriteFromMemory, raw, RawPartition, FileSystem::kUnknown)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void VerifyFromMemory(benchmark::State& state, const std::vector<uint8_t>& (*partition)(),
                      FileSystem fs) {
  Source s(partition());
  if (!s.ok || s.source.layout.fs != fs) return state.SkipWithError("the partition is not read");
  MemoryImage image(s.plan.bytes);
  if (!WriteImage(s.disk, s.source, s.plan, 0, 0, image, *s.ws, nullptr, nullptr).ok()) {
    return state.SkipWithError("WriteImage failed");
  }
  for (auto _ : state) {
    image.Rewind();
    ImageHeader header;
    ImageSummary summary;
    if (!VerifyImage(image, *s.ws, nullptr, &header, &summary).ok()) {
      return state.SkipWithError("VerifyImage failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * s.plan.data_sectors *
                          kSectorSize);
}
BENCHMARK_CAPTURE(VerifyFromMemory, fat32, Fat32Partition, FileSystem::kFat32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(VerifyFromMemory, raw, RawPartition, FileSystem::kUnknown)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
