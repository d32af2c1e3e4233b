#include "dos/engine/image.h"

#include "dos/engine/bytes.h"
#include "dos/engine/crc32.h"

namespace orvane::dos {
namespace {

constexpr char kHeaderMagic[8] = {'O', 'R', 'V', 'A', 'N', 'E', 'I', 'M'};
constexpr char kChunkMagic[4] = {'C', 'H', 'N', 'K'};
constexpr char kTrailerMagic[8] = {'O', 'R', 'V', 'A', 'N', 'E', 'O', 'K'};
constexpr char kCreator[] = "Orvane 1.0";
constexpr uint16_t kFlagRaw = 1;
constexpr uint16_t kFlagSerial = 2;

uint32_t PutVarint(uint8_t* p, uint32_t v) {
  uint32_t n = 0;
  while (v >= 0x80) {
    p[n++] = static_cast<uint8_t>(v | 0x80);
    v >>= 7;
  }
  p[n++] = static_cast<uint8_t>(v);
  return n;
}

// False on a varint that runs past `end` or past 32 bits.
bool GetVarint(const uint8_t*& p, const uint8_t* end, uint32_t* v) {
  uint32_t value = 0;
  for (int shift = 0; shift < 35; shift += 7) {
    if (p == end) return false;
    const uint8_t b = *p++;
    if (shift == 28 && (b & 0x70) != 0) return false;
    value |= static_cast<uint32_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) {
      *v = value;
      return true;
    }
  }
  return false;
}

void EncodeHeader(const ImageHeader& h, uint8_t* r) {
  FillBytes(r, 0, kHeaderSize);
  CopyBytes(r, kHeaderMagic, 8);
  Store16(r + 8, h.major);
  Store16(r + 10, h.minor);
  Store16(r + 12, kHeaderSize);
  Store16(r + 14, static_cast<uint16_t>((h.raw ? kFlagRaw : 0) | (h.serial ? kFlagSerial : 0)));
  r[16] = h.bios_disk;
  r[17] = h.partition_type;
  r[18] = static_cast<uint8_t>(h.fs);
  Store32(r + 20, h.first_sector);
  Store32(r + 24, h.sector_count);
  Store32(r + 28, h.cluster_bytes);
  Store32(r + 32, h.first_data_sector);
  Store32(r + 36, h.cluster_count);
  Store32(r + 40, h.serial);
  CopyBytes(r + 44, h.label, 11);
  Store32(r + 56, h.data_sectors);
  Store16(r + 60, h.dos_date);
  Store16(r + 62, h.dos_time);
  CopyBytes(r + 64, kCreator, sizeof kCreator);
  Store32(r + 508, Crc32(0, r, 508));
}

Status DecodeHeader(const uint8_t* r, ImageHeader* h) {
  if (!SameBytes(r, kHeaderMagic, 8)) return Status::Fail(Fault::kNotAnImage);
  h->major = Load16(r + 8);
  h->minor = Load16(r + 10);
  if (h->major > kFormatMajor) return Status::Fail(Fault::kVersion, 0, h->major);
  h->crc = Load32(r + 508);
  if (Crc32(0, r, 508) != h->crc || Load16(r + 12) != kHeaderSize || h->major == 0) {
    return Status::Fail(Fault::kHeaderDamaged);
  }
  h->raw = (Load16(r + 14) & kFlagRaw) != 0;
  h->bios_disk = r[16];
  h->partition_type = r[17];
  h->fs = static_cast<FileSystem>(r[18]);
  h->first_sector = Load32(r + 20);
  h->sector_count = Load32(r + 24);
  h->cluster_bytes = Load32(r + 28);
  h->first_data_sector = Load32(r + 32);
  h->cluster_count = Load32(r + 36);
  h->serial = Load32(r + 40);
  CopyBytes(h->label, r + 44, 11);
  h->label[11] = 0;
  h->data_sectors = Load32(r + 56);
  h->dos_date = Load16(r + 60);
  h->dos_time = Load16(r + 62);
  const bool fs_known = h->fs == FileSystem::kUnknown || h->fs == FileSystem::kFat12 ||
                        h->fs == FileSystem::kFat16 || h->fs == FileSystem::kFat32;
  if (!fs_known || h->data_sectors > h->sector_count) return Status::Fail(Fault::kHeaderDamaged);
  return Status::Ok();
}

// Gathers runs of partition sectors into chunks and writes them. With no
// disk it only counts, which is how PlanImage knows the size in advance.
class ChunkWriter {
 public:
  ChunkWriter(SectorDisk* disk, uint32_t partition_first, ImageOutput* out, Workspace& ws)
      : disk_(disk), first_(partition_first), out_(out), ws_(ws) {}

  Status Add(uint32_t start, uint32_t count, Progress* progress, uint32_t total) {
    while (count > 0) {
      uint32_t n = kChunkSectors - sectors_;
      if (n > count) n = count;
      if (disk_) {
        const Status read = disk_->Read(first_ + start, static_cast<uint16_t>(n),
                                        ws_.data + sectors_ * kSectorSize);
        if (!read.ok()) return read;
      }
      if (runs_ > 0 && start == end_) {
        run_length_[runs_ - 1] += n;
      } else {
        if (runs_ == 0) base_ = start;
        run_skip_[runs_] = start - (runs_ == 0 ? base_ : end_);
        run_length_[runs_] = n;
        ++runs_;
      }
      end_ = start + n;
      sectors_ += n;
      start += n;
      count -= n;
      if (sectors_ == kChunkSectors) {
        const Status flushed = Flush();
        if (!flushed.ok()) return flushed;
        if (progress) progress->Update(summary_.data_sectors, total);
      }
    }
    return Status::Ok();
  }

  Status Flush() {
    if (sectors_ == 0) return Status::Ok();
    uint32_t map_bytes = 0;
    for (uint32_t i = 0; i < runs_; ++i) {
      map_bytes += PutVarint(ws_.map + map_bytes, run_skip_[i]);
      map_bytes += PutVarint(ws_.map + map_bytes, run_length_[i]);
    }
    const uint32_t data_bytes = sectors_ * kSectorSize;
    if (out_) {
      uint8_t head[kChunkHeaderSize];
      CopyBytes(head, kChunkMagic, 4);
      Store32(head + 4, summary_.chunks);
      Store32(head + 8, base_);
      Store16(head + 12, static_cast<uint16_t>(runs_));
      Store16(head + 14, static_cast<uint16_t>(map_bytes));
      Store16(head + 16, static_cast<uint16_t>(sectors_));
      Store16(head + 18, 0);
      const uint32_t crc = Crc32(Crc32(0, ws_.map, map_bytes), ws_.data, data_bytes);
      Store32(head + 20, crc);
      Store32(head + 24, Crc32(0, head, 24));
      uint8_t crc_bytes[4];
      Store32(crc_bytes, crc);
      chain_ = Crc32(chain_, crc_bytes, 4);
      Status s = out_->Write(head, kChunkHeaderSize);
      if (s.ok()) s = out_->Write(ws_.map, map_bytes);
      if (s.ok()) s = out_->Write(ws_.data, data_bytes);
      if (!s.ok()) return s;
    }
    summary_.chunks += 1;
    summary_.data_sectors += sectors_;
    summary_.bytes += kChunkHeaderSize + map_bytes + data_bytes;
    runs_ = 0;
    sectors_ = 0;
    return Status::Ok();
  }

  ImageSummary& summary() { return summary_; }
  uint32_t chain() const { return chain_; }

 private:
  SectorDisk* disk_;
  uint32_t first_;
  ImageOutput* out_;
  Workspace& ws_;
  uint32_t run_skip_[kMaxRuns];
  uint32_t run_length_[kMaxRuns];
  uint32_t runs_ = 0, sectors_ = 0, base_ = 0, end_ = 0;
  uint32_t chain_ = 0;
  ImageSummary summary_;
};

Status FeedRuns(SectorDisk& disk, const ImageSource& source, Workspace& ws, ChunkWriter& writer,
                Progress* progress, uint32_t total) {
  UsedRuns runs(disk, source.partition.first, source.layout, ws.fat);
  for (;;) {
    uint32_t start = 0, count = 0;
    Status s = runs.Next(&start, &count);
    if (!s.ok()) return s;
    if (count == 0) break;
    s = writer.Add(start, count, progress, total);
    if (!s.ok()) return s;
  }
  return writer.Flush();
}

// Reads exactly `size` bytes; a short read is an image cut short.
class ExactReader {
 public:
  explicit ExactReader(ImageInput& in) : in_(in) {}
  Status Read(uint8_t* data, uint32_t size, uint32_t* got_out = nullptr) {
    uint32_t got = 0;
    const Status s = in_.Read(data, size, &got);
    if (!s.ok()) return Status::Fail(s.fault, offset_, s.detail);
    offset_ += got;
    if (got_out) *got_out = got;
    if (got != size) return Status::Fail(Fault::kCutShort, offset_);
    return Status::Ok();
  }
  uint64_t offset() const { return offset_; }

 private:
  ImageInput& in_;
  uint64_t offset_ = 0;
};

// Reads the image; with a disk, writes each checked chunk's runs to it.
Status ReadImage(ImageInput& in, SectorDisk* disk, uint32_t target_first, uint32_t target_count,
                 Workspace& ws, Progress* progress, ImageHeader* header_out,
                 ImageSummary* summary_out) {
  ExactReader reader(in);
  Status s = reader.Read(ws.record, kHeaderSize);
  if (!s.ok()) return s.fault == Fault::kCutShort ? Status::Fail(Fault::kNotAnImage) : s;
  ImageHeader header;
  s = DecodeHeader(ws.record, &header);
  if (!s.ok()) return s;
  if (header_out) *header_out = header;
  if (disk && header.sector_count > target_count) {
    return Status::Fail(Fault::kTooLarge, header.sector_count);
  }

  ImageSummary summary;
  summary.bytes = kHeaderSize;
  uint32_t chain = 0;
  uint32_t next_free = 0;  // runs come in ascending order
  for (;;) {
    uint8_t* head = ws.record;
    uint32_t got = 0;
    s = reader.Read(head, kChunkHeaderSize, &got);
    if (!s.ok()) return s;
    if (SameBytes(head, kTrailerMagic, 8)) break;
    const uint32_t index = summary.chunks;
    if (!SameBytes(head, kChunkMagic, 4) || Load32(head + 24) != Crc32(0, head, 24) ||
        Load32(head + 4) != index) {
      return Status::Fail(Fault::kChunkDamaged, index);
    }
    const uint32_t base = Load32(head + 8);
    const uint32_t runs = Load16(head + 12);
    const uint32_t map_bytes = Load16(head + 14);
    const uint32_t sectors = Load16(head + 16);
    if (runs == 0 || runs > kMaxRuns || map_bytes > kMapCapacity || sectors == 0 ||
        sectors > kChunkSectors || Load16(head + 18) != 0) {
      return Status::Fail(Fault::kChunkDamaged, index);
    }
    const uint32_t crc = Load32(head + 20);
    s = reader.Read(ws.map, map_bytes);
    if (s.ok()) s = reader.Read(ws.data, sectors * kSectorSize);
    if (!s.ok()) return s;
    if (Crc32(Crc32(0, ws.map, map_bytes), ws.data, sectors * kSectorSize) != crc) {
      return Status::Fail(Fault::kChunkDamaged, index);
    }

    // The runs: ascending, inside the partition, adding up to `sectors`.
    const uint8_t* p = ws.map;
    const uint8_t* end = ws.map + map_bytes;
    uint32_t position = base, total = 0;
    if (base < next_free || base > header.sector_count) {
      return Status::Fail(Fault::kOutOfRange, index);
    }
    for (uint32_t r = 0; r < runs; ++r) {
      uint32_t skip = 0, length = 0;
      if (!GetVarint(p, end, &skip) || !GetVarint(p, end, &length) || length == 0 ||
          length > sectors - total) {
        return Status::Fail(Fault::kChunkDamaged, index);
      }
      if (skip > header.sector_count - position || length > header.sector_count - position - skip) {
        return Status::Fail(Fault::kOutOfRange, index);
      }
      position += skip;
      if (disk) {
        s = disk->Write(target_first + position, static_cast<uint16_t>(length),
                        ws.data + total * kSectorSize);
        if (!s.ok()) return s;
      }
      position += length;
      total += length;
    }
    if (p != end || total != sectors) return Status::Fail(Fault::kChunkDamaged, index);
    next_free = position;

    uint8_t crc_bytes[4];
    Store32(crc_bytes, crc);
    chain = Crc32(chain, crc_bytes, 4);
    summary.chunks += 1;
    summary.data_sectors += sectors;
    summary.bytes += kChunkHeaderSize + map_bytes + sectors * kSectorSize;
    if (summary.data_sectors > header.data_sectors) {
      return Status::Fail(Fault::kChunkDamaged, index);
    }
    if (progress) progress->Update(summary.data_sectors, header.data_sectors);
  }

  // The completion record: the rest of it, then every count it repeats.
  uint8_t* t = ws.record;
  s = reader.Read(t + kChunkHeaderSize, kTrailerSize - kChunkHeaderSize);
  if (!s.ok()) return s;
  summary.bytes += kTrailerSize;
  const uint64_t bytes = Load32(t + 16) | (static_cast<uint64_t>(Load32(t + 20)) << 32);
  if (Load32(t + 60) != Crc32(0, t, 60) || Load32(t + 8) != summary.chunks ||
      Load32(t + 12) != summary.data_sectors || summary.data_sectors != header.data_sectors ||
      bytes != summary.bytes || Load32(t + 24) != header.crc || Load32(t + 28) != chain) {
    return Status::Fail(Fault::kTrailerDamaged);
  }
  if (summary_out) *summary_out = summary;
  return Status::Ok();
}

}  // namespace

Status PlanImage(SectorDisk& disk, const ImageSource& source, Workspace& ws, ImageSummary* plan) {
  ChunkWriter counter(nullptr, 0, nullptr, ws);
  const Status s = FeedRuns(disk, source, ws, counter, nullptr, 0);
  if (!s.ok()) return s;
  *plan = counter.summary();
  plan->bytes += kHeaderSize + kTrailerSize;
  return Status::Ok();
}

Status WriteImage(SectorDisk& disk, const ImageSource& source, const ImageSummary& plan,
                  uint16_t dos_date, uint16_t dos_time, ImageOutput& out, Workspace& ws,
                  Progress* progress, ImageSummary* written) {
  ImageHeader h;
  h.raw = source.layout.fs == FileSystem::kUnknown;
  h.bios_disk = source.bios_disk;
  h.partition_type = source.partition.type;
  h.first_sector = source.partition.first;
  h.sector_count = source.partition.count;
  h.fs = source.layout.fs;
  h.cluster_bytes = source.layout.sectors_per_cluster * kSectorSize;
  h.first_data_sector = source.layout.first_data_sector;
  h.cluster_count = source.layout.cluster_count;
  h.serial = source.layout.serial;
  CopyBytes(h.label, source.layout.label, sizeof h.label);
  h.data_sectors = plan.data_sectors;
  h.dos_date = dos_date;
  h.dos_time = dos_time;
  EncodeHeader(h, ws.record);
  const uint32_t header_crc = Load32(ws.record + 508);
  Status s = out.Write(ws.record, kHeaderSize);
  if (!s.ok()) return s;

  ChunkWriter writer(&disk, source.partition.first, &out, ws);
  writer.summary().bytes = kHeaderSize;
  s = FeedRuns(disk, source, ws, writer, progress, plan.data_sectors);
  if (!s.ok()) return s;
  ImageSummary& summary = writer.summary();
  // The FAT changed under us (it must not): the header would lie.
  if (summary.data_sectors != plan.data_sectors) return Status::Fail(Fault::kFileSystem);
  summary.bytes += kTrailerSize;

  uint8_t* t = ws.record;
  FillBytes(t, 0, kTrailerSize);
  CopyBytes(t, kTrailerMagic, 8);
  Store32(t + 8, summary.chunks);
  Store32(t + 12, summary.data_sectors);
  Store32(t + 16, static_cast<uint32_t>(summary.bytes));
  Store32(t + 20, static_cast<uint32_t>(summary.bytes >> 32));
  Store32(t + 24, header_crc);
  Store32(t + 28, writer.chain());
  Store32(t + 60, Crc32(0, t, 60));
  s = out.Write(t, kTrailerSize);
  if (!s.ok()) return s;
  if (written) *written = summary;
  return Status::Ok();
}

Status ReadImageHeader(ImageInput& in, Workspace& ws, ImageHeader* header) {
  ExactReader reader(in);
  const Status s = reader.Read(ws.record, kHeaderSize);
  if (!s.ok()) return s.fault == Fault::kCutShort ? Status::Fail(Fault::kNotAnImage) : s;
  return DecodeHeader(ws.record, header);
}

Status CheckImageEnds(const uint8_t* header_bytes, const uint8_t* t, uint64_t image_bytes,
                      ImageHeader* header) {
  if (image_bytes < kHeaderSize + kTrailerSize) return Status::Fail(Fault::kNotAnImage);
  const Status s = DecodeHeader(header_bytes, header);
  if (!s.ok()) return s;
  if (!SameBytes(t, kTrailerMagic, 8)) return Status::Fail(Fault::kCutShort);
  const uint64_t bytes = Load32(t + 16) | (static_cast<uint64_t>(Load32(t + 20)) << 32);
  if (Load32(t + 60) != Crc32(0, t, 60) || Load32(t + 24) != header->crc ||
      Load32(t + 12) != header->data_sectors || bytes != image_bytes) {
    return Status::Fail(Fault::kTrailerDamaged);
  }
  return Status::Ok();
}

Status VerifyImage(ImageInput& in, Workspace& ws, Progress* progress, ImageHeader* header,
                   ImageSummary* summary) {
  return ReadImage(in, nullptr, 0, 0, ws, progress, header, summary);
}

Status RestoreImage(ImageInput& in, SectorDisk& disk, uint32_t target_first, uint32_t target_count,
                    Workspace& ws, Progress* progress, ImageSummary* summary) {
  return ReadImage(in, &disk, target_first, target_count, ws, progress, nullptr, summary);
}

bool ImagePartName(const char* first, unsigned index, char* out, uint32_t capacity) {
  uint32_t length = 0, dot = 0;
  bool has_dot = false;
  for (; first[length]; ++length) {
    if (first[length] == '.') {
      dot = length;
      has_dot = true;
    } else if (first[length] == '\\' || first[length] == '/' || first[length] == ':') {
      has_dot = false;
    }
  }
  if (index >= kMaxParts) return false;
  const uint32_t stem = index == 0 ? length : (has_dot ? dot : length);
  const uint32_t needed = stem + (index == 0 ? 0 : 4) + 1;
  if (needed > capacity) return false;
  CopyBytes(out, first, stem);
  uint32_t n = stem;
  if (index != 0) {
    out[n++] = '.';
    out[n++] = 'G';
    out[n++] = static_cast<char>('0' + index / 10);
    out[n++] = static_cast<char>('0' + index % 10);
  }
  out[n] = 0;
  return true;
}

}  // namespace orvane::dos
