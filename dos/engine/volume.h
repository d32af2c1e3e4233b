// Partitions of a BIOS disk and the layout of the FAT volume in one: what
// the imaging engine needs to know which sectors hold data.
#pragma once

#include <stdint.h>

#include "dos/engine/disk.h"

namespace orvane::dos {

struct PartitionEntry {
  uint8_t status = 0;  // 80h: active
  uint8_t type = 0;    // the partition table's type byte
  bool primary = true;
  uint32_t first = 0;  // absolute sector
  uint32_t count = 0;
};

// The partitions of `disk`: the four primary entries that are in use, then
// the logical drives of an extended partition in chain order. `sector` is
// a 512-byte scratch buffer. Returns how many were stored (at most `max`);
// 0 when sector 0 has no partition table or cannot be read.
int ReadPartitions(SectorDisk& disk, PartitionEntry* out, int max, uint8_t* sector);

// Types DOS gives a drive letter: FAT12, FAT16 (small, large, LBA), FAT32.
bool IsDosType(uint8_t type);

enum class FileSystem : uint8_t { kUnknown = 0, kFat12 = 12, kFat16 = 16, kFat32 = 32 };

// A FAT volume as its boot sector describes it; sectors are relative to
// the partition. A volume the engine cannot read has kUnknown.
struct VolumeLayout {
  FileSystem fs = FileSystem::kUnknown;
  uint32_t total_sectors = 0;  // the partition's, or the volume's where readable
  uint16_t reserved_sectors = 0;
  uint8_t fat_count = 0;
  uint8_t media = 0;
  uint32_t sectors_per_fat = 0;
  // The FAT that is read: 0, unless a FAT32 volume has mirroring off and
  // names another FAT as the active one (the others are then stale).
  uint8_t active_fat = 0;
  uint32_t sectors_per_cluster = 0;
  uint32_t root_dir_sectors = 0;
  uint32_t first_data_sector = 0;
  uint32_t cluster_count = 0;  // clusters 2 .. cluster_count + 1
  uint32_t root_cluster = 0;   // FAT32: the root directory's first cluster
  uint32_t serial = 0;
  bool has_serial = false;
  char label[12] = {};
};

// Reads the boot sector of `part` into `sector` and fills `layout`. A boot
// sector that is no consistent FAT volume inside the partition gives
// kUnknown with total_sectors = the partition's size; false only when the
// sector cannot be read.
Status ReadVolumeLayout(SectorDisk& disk, const PartitionEntry& part, uint8_t* sector,
                        VolumeLayout* layout);

// Reads the active FAT of a volume in windows of kFatWindowSectors sectors.
constexpr uint32_t kFatWindowSectors = 8;

class FatReader {
 public:
  FatReader(SectorDisk& disk, uint32_t partition_first, const VolumeLayout& layout,
            uint8_t* window /* kFatWindowSectors * 512 bytes */)
      : disk_(disk), first_(partition_first), layout_(layout), window_(window) {}
  // The FAT entry of `cluster` (2 .. cluster_count + 1) into `*value`.
  Status Entry(uint32_t cluster, uint32_t* value);
  // True when the entry marks the cluster as holding data: not free, not
  // a bad cluster.
  bool InUse(uint32_t value) const;

 private:
  Status Load(uint32_t byte_offset, uint32_t width);
  SectorDisk& disk_;
  uint32_t first_;
  const VolumeLayout& layout_;
  uint8_t* window_;
  uint32_t window_start_ = 0;  // byte offset in the FAT
  uint32_t window_bytes_ = 0;
};

// Clusters an image leaves out: those of the paging file and of the
// hibernation file in the root directory (PAGEFILE.SYS, HIBERFIL.SYS),
// whose contents Windows never reads back after a cold start. The first
// 64 KiB of HIBERFIL.SYS stay in: its header says whether there is a
// system to resume, and a restore must not leave one that the disk held
// there before.
constexpr uint32_t kMaxLeftOutExtents = 32;
constexpr uint32_t kHibernationHeaderBytes = 65536;
struct ClusterExtent {
  uint32_t first = 0, count = 0;
};
struct LeftOut {
  ClusterExtent extents[kMaxLeftOutExtents];  // ascending, not touching
  uint32_t count = 0;
  uint32_t clusters = 0;  // in all extents
};

// Finds what to leave out of `layout`'s volume: nothing for kUnknown or a
// volume without those files. A file in more pieces than there is room
// for is left out in part; the rest is imaged. `sector` is a 512-byte
// scratch buffer.
Status FindLeftOut(SectorDisk& disk, uint32_t partition_first, const VolumeLayout& layout,
                   uint8_t* sector, uint8_t* fat_window, LeftOut* out);

// The sectors of a volume that hold anything, as runs in ascending order:
// everything before the data area, then the clusters in use, less those of
// `left_out` when given. For kUnknown, every sector of the partition.
class UsedRuns {
 public:
  UsedRuns(SectorDisk& disk, uint32_t partition_first, const VolumeLayout& layout,
           uint8_t* fat_window, const LeftOut* left_out = nullptr)
      : layout_(layout), fat_(disk, partition_first, layout, fat_window), left_out_(left_out) {}
  // The next run into `*start`, `*count`; `*count` is 0 at the end.
  Status Next(uint32_t* start, uint32_t* count);

 private:
  // True when `cluster` is left out; then `*end` is where its extent ends.
  bool LeftOutAt(uint32_t cluster, uint32_t* end);
  const VolumeLayout& layout_;
  FatReader fat_;
  const LeftOut* left_out_;
  uint32_t extent_ = 0;  // the first extent that may still come
  bool started_ = false;
  uint32_t next_cluster_ = 2;
};

}  // namespace orvane::dos
