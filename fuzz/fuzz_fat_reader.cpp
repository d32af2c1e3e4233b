// The FAT side of the engine on any partition: ReadVolumeLayout describes a
// volume that fits its partition and whose FAT has an entry for every
// cluster; UsedRuns gives runs in ascending order, without overlaps,
// inside the volume, the first from sector 0, reading nothing but the
// active FAT (the first, unless FAT32 mirroring is off), and the same runs
// as decoding that FAT directly; PlanImage
// counts exactly those sectors, less the clusters of the paging and
// hibernation files it leaves out. A small volume is imaged too: the image
// verifies and restores those sectors, unchanged. ReadPartitions over the
// same bytes as a whole disk ends after at most 65 reads.
//
// The input: a flags byte, 20 bytes of boot sector fields, then the
// partition's sectors. The fields can overwrite sector 0 with a plausible
// boot sector (FAT size computed or taken as it is) so that most inputs
// get past the boot sector checks; the partition can be declared larger
// than the input, the rest reading as zeros.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "dos/engine/bytes.h"
#include "dos/engine/image.h"
#include "dos/engine/volume.h"
#include "fuzz/dos_memory.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace orvane::dos;
using orvane::fuzz::Expect;
using orvane::fuzz::MemoryDisk;
using orvane::fuzz::MemoryOutput;
using orvane::fuzz::PartsInput;

constexpr uint8_t kPatchBoot = 1;       // sector 0 made from the fields
constexpr uint8_t kFat32Shape = 2;      // no root directory entries, 32-bit FAT size
constexpr uint8_t kRawFatSize = 4;      // the FAT size as given, not computed
constexpr uint8_t kLargePartition = 8;  // the partition's size from the fields
constexpr uint8_t kMirroringOff = 16;   // FAT32: another FAT active, from the fields
constexpr size_t kFieldBytes = 20;

// How much work one input may cause: disk reads per pass over the FAT
// (80 windows of 8 sectors take the smallest FAT32 volumes to their end),
// runs, sectors planned, sectors imaged and restored.
constexpr uint32_t kReadBudget = 80;
constexpr size_t kRunLimit = 1 << 16;
constexpr uint64_t kMaxPlanned = 1 << 22;
constexpr uint64_t kMaxImaged = 1024;

using Run = std::pair<uint32_t, uint32_t>;  // first sector, count

// Bytes of a FAT entry table of `clusters` + 2 entries for `fs`.
uint64_t FatBytes(FileSystem fs, uint64_t clusters) {
  switch (fs) {
    case FileSystem::kFat12:
      return ((clusters + 2) * 3 + 1) / 2;
    case FileSystem::kFat16:
      return (clusters + 2) * 2;
    default:
      return (clusters + 2) * 4;
  }
}

FileSystem FsOf(uint64_t clusters) {
  return clusters < 4085    ? FileSystem::kFat12
         : clusters < 65525 ? FileSystem::kFat16
                            : FileSystem::kFat32;
}

// The smallest FAT size (sectors) that holds every cluster it leaves.
uint32_t FatSizeFor(uint64_t total, uint64_t reserved, uint64_t fats, uint64_t root_sectors,
                    uint64_t per_cluster) {
  uint64_t size = 1;
  for (int i = 0; i < 64; ++i) {
    const uint64_t first_data = reserved + fats * size + root_sectors;
    if (first_data >= total) break;
    const uint64_t clusters = (total - first_data) / per_cluster;
    const uint64_t needed = (FatBytes(FsOf(clusters), clusters) + kSectorSize - 1) / kSectorSize;
    if (needed <= size) break;
    size = needed;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
}

void PatchBoot(uint8_t flags, const uint8_t* f, uint32_t partition_sectors, uint8_t* s) {
  const bool fat32 = flags & kFat32Shape;
  const uint32_t per_cluster = 1u << (f[0] % 8);
  const uint32_t reserved = 1 + f[1] % 64;
  const uint32_t fats = 1 + f[2] % 4;
  const uint32_t root_entries = fat32 ? 0 : Load16(f + 3);
  const uint32_t total = 1 + Load32(f + 5) % partition_sectors;
  const uint32_t root_sectors = (root_entries * 32 + kSectorSize - 1) / kSectorSize;
  const uint32_t fat_size =
      (flags & kRawFatSize)
          ? Load32(f + 9)
          : FatSizeFor(total, reserved, fats, root_sectors, per_cluster) + f[9] % 4;
  Store16(s + 0x0B, kSectorSize);
  s[0x0D] = static_cast<uint8_t>(per_cluster);
  Store16(s + 0x0E, static_cast<uint16_t>(reserved));
  s[0x10] = static_cast<uint8_t>(fats);
  Store16(s + 0x11, static_cast<uint16_t>(root_entries));
  const bool small_total = !fat32 && total <= 0xFFFF;
  Store16(s + 0x13, small_total ? static_cast<uint16_t>(total) : 0);
  Store32(s + 0x20, small_total ? 0 : total);
  s[0x15] = f[13];
  const bool small_fat = !fat32 && fat_size <= 0xFFFF;
  Store16(s + 0x16, small_fat ? static_cast<uint16_t>(fat_size) : 0);
  if (!small_fat) Store32(s + 0x24, fat_size);
  // The active FAT's number, at times one that does not exist.
  if (fat32 && (flags & kMirroringOff)) Store16(s + 0x28, static_cast<uint16_t>(0x80 | f[2] >> 4));
  s[small_fat ? 0x26 : 0x42] = (f[19] & 1) ? 0x29 : f[19];
  s[510] = 0x55;
  s[511] = 0xAA;
}

// Lets only reads of sectors [first, end) through to `disk`.
class FatOnly final : public SectorDisk {
 public:
  FatOnly(MemoryDisk& disk, uint32_t first, uint64_t end) : disk_(disk), first_(first), end_(end) {}
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override {
    Expect(count > 0 && lba >= first_ && uint64_t{lba} + count <= end_,
           "the FAT is read from the active FAT and nothing else, a sector or more at a time");
    return disk_.Read(lba, count, buffer);
  }
  Status Write(uint32_t lba, uint16_t, const uint8_t*) override {
    Expect(false, "reading the FAT writes nothing");
    return Status::Fail(Fault::kDiskWrite, lba);
  }
  uint32_t SectorCount() override { return disk_.SectorCount(); }

 private:
  MemoryDisk& disk_;
  uint32_t first_;
  uint64_t end_;
};

// The FAT a FAT32 volume's boot sector names active when mirroring is
// off; otherwise the first.
uint32_t ActiveFat(std::span<const uint8_t> bytes, const VolumeLayout& l) {
  const uint32_t flags = Load16(bytes.data() + 0x28);
  return l.fs == FileSystem::kFat32 && (flags & 0x80) ? flags & 0x0F : 0;
}

// The clusters in use, from the active FAT's bytes decoded one entry at a
// time.
std::vector<Run> DecodedRuns(std::span<const uint8_t> bytes, const VolumeLayout& l) {
  const uint64_t fat_start =
      (l.reserved_sectors + uint64_t{ActiveFat(bytes, l)} * l.sectors_per_fat) * kSectorSize;
  const auto byte = [&](uint64_t offset) -> uint32_t {
    return fat_start + offset < bytes.size() ? bytes[fat_start + offset] : 0;
  };
  std::vector<Run> runs{{0, l.first_data_sector}};
  bool open = false;
  for (uint64_t c = 2; c < uint64_t{l.cluster_count} + 2; ++c) {
    uint32_t value, bad;
    if (l.fs == FileSystem::kFat12) {
      const uint64_t o = c * 3 / 2;
      const uint32_t pair = byte(o) | byte(o + 1) << 8;
      value = (c & 1) ? pair >> 4 : pair & 0xFFF;
      bad = 0xFF7;
    } else if (l.fs == FileSystem::kFat16) {
      value = byte(2 * c) | byte(2 * c + 1) << 8;
      bad = 0xFFF7;
    } else {
      value = (byte(4 * c) | byte(4 * c + 1) << 8 | byte(4 * c + 2) << 16 | byte(4 * c + 3) << 24) &
              0x0FFFFFFF;
      bad = 0x0FFFFFF7;
    }
    const bool used = value != 0 && value != bad;
    if (used && open) {
      runs.back().second += l.sectors_per_cluster;
    } else if (used) {
      runs.emplace_back(l.first_data_sector + (c - 2) * l.sectors_per_cluster,
                        l.sectors_per_cluster);
    }
    open = used;
  }
  return runs;
}

// Takes a restore and checks that it writes exactly `runs`, in order, with
// the sectors of `source`.
class RestoreCheck final : public SectorDisk {
 public:
  RestoreCheck(MemoryDisk& source, const std::vector<Run>& runs) : source_(source), runs_(runs) {}
  Status Read(uint32_t lba, uint16_t, uint8_t*) override {
    Expect(false, "RestoreImage reads no disk sector");
    return Status::Fail(Fault::kDiskRead, lba);
  }
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override {
    uint8_t original[kSectorSize];
    for (uint32_t i = 0; i < count; ++i) {
      Expect(next_run_ < runs_.size() && lba + i == runs_[next_run_].first + in_run_,
             "the restore writes the sectors imaged, in order");
      Expect(source_.Read(lba + i, 1, original).ok() &&
                 std::memcmp(original, buffer + i * kSectorSize, kSectorSize) == 0,
             "each sector is restored as it was");
      if (++in_run_ == runs_[next_run_].second) {
        ++next_run_;
        in_run_ = 0;
      }
    }
    return Status::Ok();
  }
  uint32_t SectorCount() override { return source_.SectorCount(); }
  bool done() const { return next_run_ == runs_.size(); }

 private:
  MemoryDisk& source_;
  const std::vector<Run>& runs_;
  size_t next_run_ = 0;
  uint32_t in_run_ = 0;
};

void CheckLayout(const VolumeLayout& l, const PartitionEntry& part) {
  if (l.fs == FileSystem::kUnknown) {
    Expect(l.total_sectors == part.count, "an unreadable volume is the whole partition");
    return;
  }
  Expect(l.total_sectors <= part.count, "the volume fits in its partition");
  Expect(uint64_t{l.reserved_sectors} + uint64_t{l.fat_count} * l.sectors_per_fat <=
                 l.first_data_sector &&
             l.first_data_sector + uint64_t{l.cluster_count} * l.sectors_per_cluster <=
                 l.total_sectors,
         "the FATs come before the data area and the clusters fit in the volume");
  Expect(FatBytes(l.fs, l.cluster_count) <= uint64_t{l.sectors_per_fat} * kSectorSize,
         "the FAT has an entry for every cluster");
  Expect(l.active_fat < l.fat_count, "the FAT read is one of the volume's");
}

void CheckPartitions(std::span<const uint8_t> bytes, uint32_t sectors, int max) {
  MemoryDisk disk(bytes, sectors);
  PartitionEntry found[8];
  uint8_t sector[kSectorSize];
  const int n = ReadPartitions(disk, found, max, sector);
  Expect(disk.reads <= 65, "the chain of extended boot records ends");
  Expect(n >= 0 && n <= max, "ReadPartitions stores no more than it may");
  for (int i = 0; i < n; ++i) {
    Expect(found[i].type != 0 && found[i].count != 0, "every partition found is in use");
    Expect(i == 0 || found[i - 1].primary || !found[i].primary,
           "the primary partitions come before the logical drives");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t flags = 0, fields[kFieldBytes] = {};
  if (size > 0) flags = data[0];
  const size_t head = std::min(size, 1 + kFieldBytes);
  if (head > 1) std::memcpy(fields, data + 1, head - 1);

  // The partition's sectors, at least one.
  const size_t content = size - head;
  std::vector<uint8_t> bytes(std::max<size_t>(1, (content + kSectorSize - 1) / kSectorSize) *
                             kSectorSize);
  if (content > 0) std::memcpy(bytes.data(), data + head, content);
  const uint32_t held = static_cast<uint32_t>(bytes.size() / kSectorSize);
  PartitionEntry part;
  part.type = 0x0C;
  part.count = (flags & kLargePartition) ? std::max(held, Load32(fields + 14)) : held;
  if (flags & kPatchBoot) PatchBoot(flags, fields, part.count, bytes.data());

  CheckPartitions(bytes, part.count, fields[18] % 9);

  MemoryDisk disk(bytes, part.count);
  auto ws = std::make_unique<Workspace>();
  ImageSource source;
  source.partition = part;
  Expect(ReadVolumeLayout(disk, part, ws->record, &source.layout).ok(),
         "ReadVolumeLayout fails only when sector 0 cannot be read");
  const VolumeLayout& layout = source.layout;
  CheckLayout(layout, part);

  const uint32_t fat_first =
      layout.reserved_sectors + ActiveFat(bytes, layout) * layout.sectors_per_fat;
  const uint64_t fat_end = uint64_t{fat_first} + layout.sectors_per_fat;
  FatOnly fat_disk(disk, fat_first, fat_end);
  disk.read_limit = disk.reads + kReadBudget;
  UsedRuns used(fat_disk, 0, layout, ws->fat);
  std::vector<Run> runs;
  uint64_t sum = 0;
  for (;;) {
    uint32_t start = 0, count = 0;
    const Status s = used.Next(&start, &count);
    if (!s.ok()) {
      Expect(s.fault == Fault::kDiskRead, "UsedRuns fails only when the disk does");
      return 0;
    }
    if (count == 0) break;
    Expect(runs.empty() ? start == 0 : start >= runs.back().first + runs.back().second,
           "runs ascend from sector 0 and do not overlap");
    Expect(uint64_t{start} + count <= layout.total_sectors, "runs lie inside the volume");
    runs.emplace_back(start, count);
    sum += count;
    if (runs.size() == kRunLimit) return 0;
  }
  Expect(!runs.empty() &&
             runs[0].second == (layout.fs == FileSystem::kUnknown ? layout.total_sectors
                                                                  : layout.first_data_sector),
         "the first run is the whole partition, or everything before the data area");
  if (layout.fs != FileSystem::kUnknown) {
    Expect(runs == DecodedRuns(bytes, layout), "the runs are the clusters the FAT marks in use");
  }
  if (sum > kMaxPlanned) return 0;

  // PlanImage also reads the root directory (at most 4,096 sectors), for
  // the paging and hibernation files it leaves out.
  disk.read_limit = disk.reads + kReadBudget + 4096;
  ImageSummary plan;
  const Status planned = PlanImage(disk, source, *ws, &plan);
  Expect(planned.ok(), "PlanImage reads what UsedRuns read, and the root directory");
  const uint64_t imaged = plan.data_sectors;
  const uint64_t least =
      kHeaderSize + kTrailerSize + uint64_t{plan.chunks} * kChunkHeaderSize + imaged * kSectorSize;
  Expect(imaged + plan.left_out_sectors == sum && imaged >= runs[0].second &&
             plan.chunks == (imaged + kChunkSectors - 1) / kChunkSectors && plan.bytes >= least &&
             plan.bytes <= least + uint64_t{plan.chunks} * kMapCapacity,
         "PlanImage counts the sectors of the runs less those left out, in full chunks");
  // Images that leave clusters out are the engine's tests' (the restore
  // check here expects every run).
  if (sum > kMaxImaged || plan.left_out_sectors) return 0;

  disk.read_limit = UINT32_MAX;
  MemoryOutput out;
  ImageSummary written;
  Status s = WriteImage(disk, source, plan, 0, 0, out, *ws, nullptr, &written);
  Expect(s.ok() && written.bytes == plan.bytes && out.bytes.size() == plan.bytes,
         "WriteImage writes what PlanImage counted");
  PartsInput in(out.bytes);
  ImageHeader header;
  s = VerifyImage(in, *ws, nullptr, &header, nullptr);
  Expect(s.ok() && header.sector_count == part.count && header.fs == layout.fs &&
             header.raw == (layout.fs == FileSystem::kUnknown) && header.data_sectors == sum,
         "the image verifies and describes its partition");
  PartsInput again(out.bytes);
  RestoreCheck target(disk, runs);
  s = RestoreImage(again, target, 0, part.count, *ws, nullptr, nullptr);
  Expect(s.ok() && target.done(), "the image restores every sector imaged");
  return 0;
}
