#include "dos/engine/volume.h"

#include "dos/engine/bytes.h"

namespace orvane::dos {
namespace {

bool IsExtendedType(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool HasSignature(const uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

PartitionEntry EntryAt(const uint8_t* e, uint32_t base, bool primary) {
  PartitionEntry p;
  p.status = e[0];
  p.type = e[4];
  p.primary = primary;
  p.first = base + Load32(e + 8);
  p.count = Load32(e + 12);
  return p;
}

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The FAT32 boot sector's flags word: bit 7 set turns mirroring off, and
// then bits 0-3 name the active FAT, the only one kept up to date.
constexpr uint32_t kFat32Flags = 0x28;
constexpr uint16_t kMirroringOff = 0x80;
constexpr uint16_t kActiveFatMask = 0x0F;

}  // namespace

bool IsDosType(uint8_t type) {
  switch (type) {
    case 0x01:
    case 0x04:
    case 0x06:
    case 0x0B:
    case 0x0C:
    case 0x0E:
      return true;
    default:
      return false;
  }
}

int ReadPartitions(SectorDisk& disk, PartitionEntry* out, int max, uint8_t* sector) {
  if (!disk.Read(0, 1, sector).ok() || !HasSignature(sector)) return 0;
  int found = 0;
  uint32_t extended = 0;
  for (int i = 0; i < 4; ++i) {
    const uint8_t* e = sector + 446 + 16 * i;
    if (e[4] == 0 || Load32(e + 12) == 0) continue;
    if (IsExtendedType(e[4])) {
      if (extended == 0) extended = Load32(e + 8);
      continue;
    }
    if (found < max) out[found++] = EntryAt(e, 0, true);
  }
  // Each extended boot record holds one logical drive (relative to itself)
  // and the link to the next record (relative to the extended partition).
  uint32_t record = extended;
  for (int guard = 0; record != 0 && guard < 64 && found < max; ++guard) {
    if (!disk.Read(record, 1, sector).ok() || !HasSignature(sector)) break;
    const uint8_t* logical = sector + 446;
    const uint8_t* link = sector + 462;
    if (logical[4] != 0 && Load32(logical + 12) != 0)
      out[found++] = EntryAt(logical, record, false);
    if (!IsExtendedType(link[4]) || Load32(link + 8) == 0) break;
    record = extended + Load32(link + 8);
  }
  return found;
}

Status ReadVolumeLayout(SectorDisk& disk, const PartitionEntry& part, uint8_t* s,
                        VolumeLayout* layout) {
  *layout = VolumeLayout{};
  layout->total_sectors = part.count;
  const Status read = disk.Read(part.first, 1, s);
  if (!read.ok()) return read;
  if (!HasSignature(s) || Load16(s + 0x0B) != kSectorSize) return Status::Ok();

  const uint32_t per_cluster = s[0x0D];
  const uint32_t reserved = Load16(s + 0x0E);
  const uint32_t fats = s[0x10];
  const uint32_t root_entries = Load16(s + 0x11);
  const uint32_t total = Load16(s + 0x13) ? Load16(s + 0x13) : Load32(s + 0x20);
  const uint32_t fat16_size = Load16(s + 0x16);
  const uint32_t fat_size = fat16_size ? fat16_size : Load32(s + 0x24);
  if (!PowerOfTwo(per_cluster) || per_cluster > 128 || reserved == 0 || fats == 0 || fats > 4 ||
      fat_size == 0 || fat_size > 0x00FFFFFF || total == 0 ||
      (part.count != 0 && total > part.count)) {
    return Status::Ok();
  }
  const uint32_t root_sectors = (root_entries * 32 + kSectorSize - 1) / kSectorSize;
  const uint32_t first_data = reserved + fats * fat_size + root_sectors;
  if (first_data >= total) return Status::Ok();
  const uint32_t clusters = (total - first_data) / per_cluster;

  FileSystem fs;
  uint64_t fat_bytes;  // 64 bits: (clusters + 2) * 4 overflows 32
  if (clusters < 4085) {
    fs = FileSystem::kFat12;
    fat_bytes = (uint64_t{clusters + 2} * 3 + 1) / 2;
  } else if (clusters < 65525) {
    fs = FileSystem::kFat16;
    fat_bytes = uint64_t{clusters + 2} * 2;
  } else {
    fs = FileSystem::kFat32;
    fat_bytes = uint64_t{clusters + 2} * 4;
  }
  const bool fat32_shape = root_entries == 0 && fat16_size == 0;
  if ((fs == FileSystem::kFat32) != fat32_shape || (fat_bytes + kSectorSize - 1) >> 9 > fat_size ||
      clusters > 0x0FFFFFF5) {
    return Status::Ok();
  }
  uint32_t active = 0;
  if (fs == FileSystem::kFat32 && (Load16(s + kFat32Flags) & kMirroringOff)) {
    active = Load16(s + kFat32Flags) & kActiveFatMask;
    // An active FAT that does not exist: which clusters hold data cannot
    // be told, so every sector is.
    if (active >= fats) return Status::Ok();
  }

  layout->fs = fs;
  layout->total_sectors = total;
  layout->reserved_sectors = static_cast<uint16_t>(reserved);
  layout->fat_count = static_cast<uint8_t>(fats);
  layout->media = s[0x15];
  layout->sectors_per_fat = fat_size;
  layout->active_fat = static_cast<uint8_t>(active);
  layout->sectors_per_cluster = per_cluster;
  layout->root_dir_sectors = root_sectors;
  layout->first_data_sector = first_data;
  layout->cluster_count = clusters;
  if (fs == FileSystem::kFat32) layout->root_cluster = Load32(s + 0x2C);
  const uint32_t ext = fs == FileSystem::kFat32 ? 0x40 : 0x24;
  if (s[ext + 2] == 0x29) {
    layout->has_serial = true;
    layout->serial = Load32(s + ext + 3);
    CopyBytes(layout->label, s + ext + 7, 11);
    layout->label[11] = 0;
  }
  return Status::Ok();
}

Status FatReader::Load(uint32_t offset, uint32_t width) {
  if (offset >= window_start_ && offset + width <= window_start_ + window_bytes_) {
    return Status::Ok();
  }
  const uint32_t sector = offset / kSectorSize;
  uint32_t count = layout_.sectors_per_fat - sector;
  if (count > kFatWindowSectors) count = kFatWindowSectors;
  const uint32_t fat_first =
      layout_.reserved_sectors + layout_.active_fat * layout_.sectors_per_fat;
  const Status read =
      disk_.Read(first_ + fat_first + sector, static_cast<uint16_t>(count), window_);
  if (!read.ok()) {
    window_bytes_ = 0;
    return read;
  }
  window_start_ = sector * kSectorSize;
  window_bytes_ = count * kSectorSize;
  return Status::Ok();
}

Status FatReader::Entry(uint32_t cluster, uint32_t* value) {
  uint32_t offset, width;
  switch (layout_.fs) {
    case FileSystem::kFat12:
      offset = cluster + cluster / 2;
      width = 2;
      break;
    case FileSystem::kFat16:
      offset = cluster * 2;
      width = 2;
      break;
    default:
      offset = cluster * 4;
      width = 4;
      break;
  }
  const Status loaded = Load(offset, width);
  if (!loaded.ok()) return loaded;
  const uint8_t* p = window_ + (offset - window_start_);
  switch (layout_.fs) {
    case FileSystem::kFat12: {
      const uint16_t pair = Load16(p);
      *value = (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
      break;
    }
    case FileSystem::kFat16:
      *value = Load16(p);
      break;
    default:
      *value = Load32(p) & 0x0FFFFFFF;
      break;
  }
  return Status::Ok();
}

bool FatReader::InUse(uint32_t value) const {
  if (value == 0) return false;
  switch (layout_.fs) {
    case FileSystem::kFat12:
      return value != 0xFF7;
    case FileSystem::kFat16:
      return value != 0xFFF7;
    default:
      return value != 0x0FFFFFF7;
  }
}

namespace {

constexpr uint32_t kMaxRootSectors = 4096;

bool EndOfChain(const VolumeLayout& layout, uint32_t value) {
  return value < 2 || value >= layout.cluster_count + 2;
}

// Adds `cluster` to `out`, growing the last extent where it follows on.
void AddCluster(uint32_t cluster, LeftOut* out) {
  if (out->count > 0) {
    ClusterExtent& last = out->extents[out->count - 1];
    if (last.first + last.count == cluster) {
      ++last.count;
      ++out->clusters;
      return;
    }
  }
  if (out->count == kMaxLeftOutExtents) return;
  out->extents[out->count++] = {cluster, 1};
  ++out->clusters;
}

// The clusters of a file's chain from `first`, less the first `keep`; at
// most `length` clusters (what the file's size needs: a longer chain is
// damaged, or loops).
Status LeaveOutChain(FatReader& fat, const VolumeLayout& layout, uint32_t first, uint32_t keep,
                     uint32_t length, LeftOut* out) {
  uint32_t cluster = first;
  for (uint32_t i = 0; i < length && !EndOfChain(layout, cluster); ++i) {
    uint32_t next = 0;
    const Status s = fat.Entry(cluster, &next);
    if (!s.ok()) return s;
    if (!fat.InUse(next)) break;
    if (i >= keep) AddCluster(cluster, out);
    cluster = next;
  }
  return Status::Ok();
}

// Sorts the extents by cluster and joins those that touch or overlap.
void Tidy(LeftOut* out) {
  for (uint32_t i = 1; i < out->count; ++i) {
    const ClusterExtent e = out->extents[i];
    uint32_t j = i;
    for (; j > 0 && out->extents[j - 1].first > e.first; --j) out->extents[j] = out->extents[j - 1];
    out->extents[j] = e;
  }
  uint32_t kept = 0;
  out->clusters = 0;
  for (uint32_t i = 0; i < out->count; ++i) {
    const ClusterExtent e = out->extents[i];
    if (kept > 0 && e.first <= out->extents[kept - 1].first + out->extents[kept - 1].count) {
      ClusterExtent& last = out->extents[kept - 1];
      const uint32_t end = e.first + e.count;
      if (end > last.first + last.count) last.count = end - last.first;
    } else {
      out->extents[kept++] = e;
    }
  }
  out->count = kept;
  for (uint32_t i = 0; i < kept; ++i) out->clusters += out->extents[i].count;
}

}  // namespace

Status FindLeftOut(SectorDisk& disk, uint32_t partition_first, const VolumeLayout& layout,
                   uint8_t* sector, uint8_t* fat_window, LeftOut* out) {
  *out = LeftOut{};
  if (layout.fs == FileSystem::kUnknown) return Status::Ok();
  FatReader fat(disk, partition_first, layout, fat_window);
  const uint32_t cluster_bytes = layout.sectors_per_cluster * kSectorSize;
  // The root directory: its own sectors before the data area, or (FAT32)
  // a chain of clusters.
  uint32_t cluster = layout.root_cluster;
  uint32_t root_sector = layout.reserved_sectors + layout.fat_count * layout.sectors_per_fat;
  uint32_t sectors_left = layout.root_dir_sectors;
  bool fat32 = layout.fs == FileSystem::kFat32;
  // Windows keeps a directory to 65,536 entries: 4,096 sectors.
  for (uint32_t steps = 0; steps < kMaxRootSectors; ++steps) {
    if (fat32) {
      if (sectors_left == 0) {
        if (steps > 0) {
          uint32_t next = 0;
          const Status s = fat.Entry(cluster, &next);
          if (!s.ok()) return s;
          cluster = next;
        }
        if (EndOfChain(layout, cluster)) break;
        root_sector = layout.first_data_sector + (cluster - 2) * layout.sectors_per_cluster;
        sectors_left = layout.sectors_per_cluster;
      }
    } else if (sectors_left == 0) {
      break;
    }
    const Status read = disk.Read(partition_first + root_sector, 1, sector);
    if (!read.ok()) return read;
    ++root_sector;
    --sectors_left;
    for (uint32_t e = 0; e < kSectorSize; e += 32) {
      const uint8_t* entry = sector + e;
      if (entry[0] == 0) {
        Tidy(out);
        return Status::Ok();
      }
      const uint8_t attributes = entry[11];
      if (entry[0] == 0xE5 || attributes == 0x0F || (attributes & 0x18) != 0) continue;
      const bool paging = SameBytes(entry, "PAGEFILESYS", 11);
      const bool hibernation = SameBytes(entry, "HIBERFILSYS", 11);
      if (!paging && !hibernation) continue;
      const uint32_t first = Load16(entry + 26) | (fat32 ? uint32_t{Load16(entry + 20)} << 16 : 0);
      const uint32_t keep =
          hibernation ? (kHibernationHeaderBytes + cluster_bytes - 1) / cluster_bytes : 0;
      const uint32_t length = Load32(entry + 28) / cluster_bytes + 1;
      const Status s = LeaveOutChain(fat, layout, first, keep, length, out);
      if (!s.ok()) return s;
    }
  }
  Tidy(out);
  return Status::Ok();
}

bool UsedRuns::LeftOutAt(uint32_t cluster, uint32_t* end) {
  if (!left_out_) return false;
  while (extent_ < left_out_->count &&
         left_out_->extents[extent_].first + left_out_->extents[extent_].count <= cluster) {
    ++extent_;
  }
  if (extent_ == left_out_->count || left_out_->extents[extent_].first > cluster) return false;
  *end = left_out_->extents[extent_].first + left_out_->extents[extent_].count;
  return true;
}

Status UsedRuns::Next(uint32_t* start, uint32_t* count) {
  *count = 0;
  if (layout_.fs == FileSystem::kUnknown) {
    if (!started_) {
      started_ = true;
      *start = 0;
      *count = layout_.total_sectors;
    }
    return Status::Ok();
  }
  if (!started_) {
    started_ = true;
    *start = 0;
    *count = layout_.first_data_sector;
    return Status::Ok();
  }
  const uint32_t end = layout_.cluster_count + 2;
  uint32_t value = 0, skip_to = 0;
  while (next_cluster_ < end) {
    if (LeftOutAt(next_cluster_, &skip_to)) {
      next_cluster_ = skip_to;
      continue;
    }
    const Status s = fat_.Entry(next_cluster_, &value);
    if (!s.ok()) return s;
    if (fat_.InUse(value)) break;
    ++next_cluster_;
  }
  if (next_cluster_ >= end) return Status::Ok();
  const uint32_t first = next_cluster_++;
  while (next_cluster_ < end && !LeftOutAt(next_cluster_, &skip_to)) {
    const Status s = fat_.Entry(next_cluster_, &value);
    if (!s.ok()) return s;
    if (!fat_.InUse(value)) break;
    ++next_cluster_;
  }
  *start = layout_.first_data_sector + (first - 2) * layout_.sectors_per_cluster;
  *count = (next_cluster_ - first) * layout_.sectors_per_cluster;
  return Status::Ok();
}

}  // namespace orvane::dos
