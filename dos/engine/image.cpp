#include "dos/engine/image.h"

#include "dos/engine/bytes.h"
#include "dos/engine/crc32.h"
#include "dos/engine/lz4.h"

namespace orvane::dos {
namespace {

// --- The records, each defined once ---------------------------------------
//
// A field is its offset in the record; the asserts check at compile time
// that each record's fields follow each other without overlapping and fill
// the record to its own CRC at the end.

template <size_t N>
constexpr bool InOrder(const uint32_t (&offset_width)[N][2], uint32_t size) {
  for (size_t i = 0; i + 1 < N; ++i) {
    if (offset_width[i][0] + offset_width[i][1] > offset_width[i + 1][0]) return false;
  }
  return offset_width[N - 1][0] + offset_width[N - 1][1] == size;
}

// The header: 512 bytes, first in the image.
namespace header {
constexpr char kMagicBytes[8] = {'O', 'R', 'V', 'A', 'N', 'E', 'I', 'M'};
constexpr uint32_t kMagic = 0, kMajor = 8, kMinor = 10, kSize = 12, kFlags = 14, kBiosDisk = 16,
                   kPartitionType = 17, kFs = 18, kFirstSector = 20, kSectorCount = 24,
                   kClusterBytes = 28, kFirstDataSector = 32, kClusterCount = 36, kSerial = 40,
                   kLabel = 44, kDataSectors = 56, kDosDate = 60, kDosTime = 62, kCreator = 64,
                   kLeftOutSectors = 96, kCrc = 508;
constexpr uint32_t kFields[][2] = {
    {kMagic, 8},        {kMajor, 2},       {kMinor, 2},         {kSize, 2},
    {kFlags, 2},        {kBiosDisk, 1},    {kPartitionType, 1}, {kFs, 1},
    {kFirstSector, 4},  {kSectorCount, 4}, {kClusterBytes, 4},  {kFirstDataSector, 4},
    {kClusterCount, 4}, {kSerial, 4},      {kLabel, 11},        {kDataSectors, 4},
    {kDosDate, 2},      {kDosTime, 2},     {kCreator, 32},      {kLeftOutSectors, 4},
    {kCrc, 4}};
static_assert(InOrder(kFields, kHeaderSize));
constexpr char kCreatorText[] = "Orvane 1.0";
constexpr uint16_t kFlagRaw = 1;
constexpr uint16_t kFlagSerial = 2;
}  // namespace header

// A chunk's header: 28 bytes before its run map and data.
namespace chunk {
constexpr char kMagicBytes[4] = {'C', 'H', 'N', 'K'};
constexpr uint32_t kMagic = 0, kIndex = 4, kBase = 8, kRuns = 12, kMapBytes = 14, kSectors = 16,
                   kKind = 18, kCrc = 20, kOwnCrc = 24;
constexpr uint32_t kFields[][2] = {{kMagic, 4}, {kIndex, 4},    {kBase, 4},
                                   {kRuns, 2},  {kMapBytes, 2}, {kSectors, 2},
                                   {kKind, 2},  {kCrc, 4},      {kOwnCrc, 4}};
static_assert(InOrder(kFields, kChunkHeaderSize));
}  // namespace chunk

// The completion record: 64 bytes, last in the image.
namespace trailer {
constexpr char kMagicBytes[8] = {'O', 'R', 'V', 'A', 'N', 'E', 'O', 'K'};
constexpr uint32_t kMagic = 0, kChunks = 8, kDataSectors = 12, kBytes = 16, kHeaderCrc = 24,
                   kChain = 28, kReserved = 32, kOwnCrc = 60;
constexpr uint32_t kFields[][2] = {{kMagic, 8},     {kChunks, 4}, {kDataSectors, 4}, {kBytes, 8},
                                   {kHeaderCrc, 4}, {kChain, 4},  {kReserved, 28},   {kOwnCrc, 4}};
static_assert(InOrder(kFields, kTrailerSize));
}  // namespace trailer

// The compression of an LZ4 chunk's data must not reach its stored size:
// then the image is never larger than the plan counted.
constexpr uint32_t kPackedLengthSize = 4;

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
  using namespace header;
  FillBytes(r, 0, kHeaderSize);
  CopyBytes(r + kMagic, kMagicBytes, 8);
  Store16(r + kMajor, h.major);
  Store16(r + kMinor, h.minor);
  Store16(r + kSize, kHeaderSize);
  Store16(r + kFlags, static_cast<uint16_t>((h.raw ? kFlagRaw : 0) | (h.serial ? kFlagSerial : 0)));
  r[kBiosDisk] = h.bios_disk;
  r[kPartitionType] = h.partition_type;
  r[kFs] = static_cast<uint8_t>(h.fs);
  Store32(r + kFirstSector, h.first_sector);
  Store32(r + kSectorCount, h.sector_count);
  Store32(r + kClusterBytes, h.cluster_bytes);
  Store32(r + kFirstDataSector, h.first_data_sector);
  Store32(r + kClusterCount, h.cluster_count);
  Store32(r + kSerial, h.serial);
  CopyBytes(r + kLabel, h.label, 11);
  Store32(r + kDataSectors, h.data_sectors);
  Store16(r + kDosDate, h.dos_date);
  Store16(r + kDosTime, h.dos_time);
  CopyBytes(r + kCreator, kCreatorText, sizeof kCreatorText);
  Store32(r + kLeftOutSectors, h.left_out_sectors);
  Store32(r + kCrc, Crc32(0, r, kCrc));
}

Status DecodeHeader(const uint8_t* r, ImageHeader* h) {
  using namespace header;
  if (!SameBytes(r + kMagic, kMagicBytes, 8)) return Status::Fail(Fault::kNotAnImage);
  h->major = Load16(r + kMajor);
  h->minor = Load16(r + kMinor);
  if (h->major > kFormatMajor) return Status::Fail(Fault::kVersion, 0, h->major);
  h->crc = Load32(r + kCrc);
  if (Crc32(0, r, kCrc) != h->crc || Load16(r + kSize) != kHeaderSize || h->major == 0) {
    return Status::Fail(Fault::kHeaderDamaged);
  }
  h->raw = (Load16(r + kFlags) & kFlagRaw) != 0;
  h->bios_disk = r[kBiosDisk];
  h->partition_type = r[kPartitionType];
  h->fs = static_cast<FileSystem>(r[kFs]);
  h->first_sector = Load32(r + kFirstSector);
  h->sector_count = Load32(r + kSectorCount);
  h->cluster_bytes = Load32(r + kClusterBytes);
  h->first_data_sector = Load32(r + kFirstDataSector);
  h->cluster_count = Load32(r + kClusterCount);
  h->serial = Load32(r + kSerial);
  CopyBytes(h->label, r + kLabel, 11);
  h->label[11] = 0;
  h->data_sectors = Load32(r + kDataSectors);
  h->dos_date = Load16(r + kDosDate);
  h->dos_time = Load16(r + kDosTime);
  // Images of 1.0 have zeros there.
  h->left_out_sectors = Load32(r + kLeftOutSectors);
  const bool fs_known = h->fs == FileSystem::kUnknown || h->fs == FileSystem::kFat12 ||
                        h->fs == FileSystem::kFat16 || h->fs == FileSystem::kFat32;
  if (!fs_known || h->data_sectors > h->sector_count ||
      h->left_out_sectors > h->sector_count - h->data_sectors) {
    return Status::Fail(Fault::kHeaderDamaged);
  }
  return Status::Ok();
}

// How a chunk keeps its data.
enum class ChunkKind : uint16_t {
  kStored = 0,  // the sectors as they are
  kLz4 = 1,     // a 4-byte length, then one LZ4 block (images of 2.0 on)
};

struct ChunkHead {
  uint32_t index = 0;
  uint32_t base = 0;  // the first run's sector
  uint16_t runs = 0, map_bytes = 0, sectors = 0;
  ChunkKind kind = ChunkKind::kStored;
  uint32_t crc = 0;  // of the run map and the sectors as they are written
};

void EncodeChunkHead(const ChunkHead& c, uint8_t* r) {
  using namespace chunk;
  CopyBytes(r + kMagic, kMagicBytes, 4);
  Store32(r + kIndex, c.index);
  Store32(r + kBase, c.base);
  Store16(r + kRuns, c.runs);
  Store16(r + kMapBytes, c.map_bytes);
  Store16(r + kSectors, c.sectors);
  Store16(r + kKind, static_cast<uint16_t>(c.kind));
  Store32(r + kCrc, c.crc);
  Store32(r + kOwnCrc, Crc32(0, r, kOwnCrc));
}

// Checks what the chunk header can say of itself: its own CRC, that it is
// chunk `index`, and a kind that an image of `major` may hold.
Status DecodeChunkHead(const uint8_t* r, uint32_t index, uint16_t major, ChunkHead* c) {
  using namespace chunk;
  c->index = Load32(r + kIndex);
  c->base = Load32(r + kBase);
  c->runs = Load16(r + kRuns);
  c->map_bytes = Load16(r + kMapBytes);
  c->sectors = Load16(r + kSectors);
  c->kind = static_cast<ChunkKind>(Load16(r + kKind));
  c->crc = Load32(r + kCrc);
  const bool kind_known =
      c->kind == ChunkKind::kStored || (c->kind == ChunkKind::kLz4 && major >= 2);
  if (!SameBytes(r + kMagic, kMagicBytes, 4) || Load32(r + kOwnCrc) != Crc32(0, r, kOwnCrc) ||
      c->index != index || c->runs == 0 || c->runs > kMaxRuns || c->map_bytes > kMapCapacity ||
      c->sectors == 0 || c->sectors > kChunkSectors || !kind_known) {
    return Status::Fail(Fault::kChunkDamaged, index);
  }
  return Status::Ok();
}

struct Trailer {
  uint32_t chunks = 0;
  uint32_t data_sectors = 0;
  uint64_t bytes = 0;  // the whole image
  uint32_t header_crc = 0;
  uint32_t chain = 0;  // the CRC of every chunk's CRC
};

void EncodeTrailer(const Trailer& t, uint8_t* r) {
  using namespace trailer;
  FillBytes(r, 0, kTrailerSize);
  CopyBytes(r + kMagic, kMagicBytes, 8);
  Store32(r + kChunks, t.chunks);
  Store32(r + kDataSectors, t.data_sectors);
  Store32(r + kBytes, static_cast<uint32_t>(t.bytes));
  Store32(r + kBytes + 4, static_cast<uint32_t>(t.bytes >> 32));
  Store32(r + kHeaderCrc, t.header_crc);
  Store32(r + kChain, t.chain);
  Store32(r + kOwnCrc, Crc32(0, r, kOwnCrc));
}

bool IsTrailer(const uint8_t* r) { return SameBytes(r + trailer::kMagic, trailer::kMagicBytes, 8); }

// False when the record is no completion record or its own CRC fails.
bool DecodeTrailer(const uint8_t* r, Trailer* t) {
  using namespace trailer;
  t->chunks = Load32(r + kChunks);
  t->data_sectors = Load32(r + kDataSectors);
  t->bytes = Load32(r + kBytes) | (static_cast<uint64_t>(Load32(r + kBytes + 4)) << 32);
  t->header_crc = Load32(r + kHeaderCrc);
  t->chain = Load32(r + kChain);
  return IsTrailer(r) && Load32(r + kOwnCrc) == Crc32(0, r, kOwnCrc);
}

uint32_t ChainCrc(uint32_t chain, uint32_t chunk_crc) {
  uint8_t bytes[4];
  Store32(bytes, chunk_crc);
  return Crc32(chain, bytes, 4);
}

// --- Batches -----------------------------------------------------------------

// A chunk kept in batch memory: this head, its run map, then its payload
// (each padded to an even size): a backup keeps the chunk as the image will
// hold it, packed or stored, so that a batch holds more of the partition
// where the data packs well; a restore keeps the sectors it checked. Only
// the engine reads it back, in the same run.
namespace kept {
constexpr uint32_t kBase = 0, kIndex = 4, kPayload = 8, kRuns = 12, kSectors = 14, kMapBytes = 16,
                   kKind = 18, kSize = 20;
constexpr uint32_t kFields[][2] = {{kBase, 4},    {kIndex, 4},    {kPayload, 4}, {kRuns, 2},
                                   {kSectors, 2}, {kMapBytes, 2}, {kKind, 2}};
static_assert(InOrder(kFields, kSize));
constexpr uint32_t Even(uint32_t n) { return (n + 1) & ~1u; }
constexpr uint32_t RecordSize(uint32_t map_bytes, uint32_t payload) {
  return kSize + Even(map_bytes) + Even(payload);
}
}  // namespace kept

// What a kept chunk's head says.
struct KeptChunk {
  uint32_t base = 0, index = 0;
  uint32_t payload = 0;  // bytes: the LZ4 block, or the sectors
  uint16_t runs = 0, sectors = 0, map_bytes = 0;
  ChunkKind kind = ChunkKind::kStored;
};

// Chunks kept in a workspace's batch memory, in order, and taken back in
// the same order into ws.map and ws.data. Off (a batch of one chunk, taken
// back at once) without batch memory or with room for fewer than two of
// the largest chunks.
class ChunkBatch {
 public:
  ChunkBatch(BatchMemory* memory, uint32_t chunk_sectors)
      : largest_(kept::RecordSize(kMapCapacity, chunk_sectors * kSectorSize)),
        memory_(memory && memory->Capacity() / 2 >= largest_ ? memory : nullptr) {}

  bool on() const { return memory_ != nullptr; }
  bool empty() const { return used_ == 0; }
  // No room left for the largest chunk.
  bool full() const { return memory_->Capacity() - used_ < largest_; }

  // Keeps the chunk whose map is in ws.map and whose payload is at
  // `payload` (which has room for a byte more, where the payload is odd).
  Status Keep(const KeptChunk& c, const Workspace& ws, const uint8_t* payload) {
    using namespace kept;
    uint8_t head[kSize];
    Store32(head + kBase, c.base);
    Store32(head + kIndex, c.index);
    Store32(head + kPayload, c.payload);
    Store16(head + kRuns, c.runs);
    Store16(head + kSectors, c.sectors);
    Store16(head + kMapBytes, c.map_bytes);
    Store16(head + kKind, static_cast<uint16_t>(c.kind));
    const uint32_t map_room = Even(c.map_bytes);
    if (!memory_->Put(used_, head, kSize) || !memory_->Put(used_ + kSize, ws.map, map_room) ||
        !memory_->Put(used_ + kSize + map_room, payload, Even(c.payload))) {
      return Status::Fail(Fault::kMemory, c.index);
    }
    used_ += RecordSize(c.map_bytes, c.payload);
    return Status::Ok();
  }

  // Takes the next kept chunk back, its map into ws.map and its payload
  // into ws.data; the batch is empty again after its last.
  Status Take(KeptChunk* c, Workspace& ws) {
    using namespace kept;
    uint8_t head[kSize];
    if (!memory_->Get(taken_, head, kSize)) return Status::Fail(Fault::kMemory);
    c->base = Load32(head + kBase);
    c->index = Load32(head + kIndex);
    c->payload = Load32(head + kPayload);
    c->runs = Load16(head + kRuns);
    c->sectors = Load16(head + kSectors);
    c->map_bytes = Load16(head + kMapBytes);
    c->kind = static_cast<ChunkKind>(Load16(head + kKind));
    const uint32_t map_room = Even(c->map_bytes);
    if (!memory_->Get(taken_ + kSize, ws.map, map_room) ||
        !memory_->Get(taken_ + kSize + map_room, ws.data, Even(c->payload))) {
      return Status::Fail(Fault::kMemory, c->index);
    }
    taken_ += RecordSize(c->map_bytes, c->payload);
    if (taken_ >= used_) used_ = taken_ = 0;
    return Status::Ok();
  }

 private:
  const uint32_t largest_;
  BatchMemory* const memory_;
  uint32_t used_ = 0, taken_ = 0;
};

// --- Writing ----------------------------------------------------------------

// Gathers runs of partition sectors into chunks and writes them. With no
// disk it only counts, which is how PlanImage knows the size in advance
// (for chunks that compression may make smaller: at most that size). With
// batch memory it reads and packs chunks until the batch is full, then
// writes them all: the disk reads one long stretch, then the image is
// written one long stretch.
class ChunkWriter {
 public:
  ChunkWriter(SectorDisk* disk, uint32_t partition_first, ImageOutput* out, Workspace& ws,
              Progress* progress = nullptr, uint32_t total = 0)
      : disk_(disk),
        first_(partition_first),
        out_(out),
        ws_(ws),
        // Compressed into the second half of `data`: chunks of half the size.
        chunk_sectors_(ws.packed == ws.data + kChunkSectors / 2 * kSectorSize ? kChunkSectors / 2
                                                                              : kChunkSectors),
        batch_(out ? ws.batch : nullptr, chunk_sectors_),
        progress_(progress),
        total_(total) {}

  Status Add(uint32_t start, uint32_t count) {
    while (count > 0) {
      uint32_t n = chunk_sectors_ - sectors_;
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
      if (sectors_ == chunk_sectors_) {
        const Status sealed = Seal();
        if (!sealed.ok()) return sealed;
      }
    }
    return Status::Ok();
  }

  // Seals the chunk being gathered and writes whatever the batch holds.
  Status Finish() {
    Status s = Seal();
    while (s.ok() && batch_.on() && !batch_.empty()) s = Emit();
    return s;
  }

  ImageSummary& summary() { return summary_; }
  uint32_t chain() const { return chain_; }

 private:
  // The chunk gathered so far gets its run map; it is written now, or kept
  // in the batch until the batch is full.
  Status Seal() {
    if (sectors_ == 0) return Status::Ok();
    KeptChunk c;
    for (uint32_t i = 0; i < runs_; ++i) {
      c.map_bytes += PutVarint(ws_.map + c.map_bytes, run_skip_[i]);
      c.map_bytes += PutVarint(ws_.map + c.map_bytes, run_length_[i]);
    }
    c.base = base_;
    c.runs = static_cast<uint16_t>(runs_);
    c.sectors = static_cast<uint16_t>(sectors_);
    c.index = summary_.chunks + kept_;
    c.payload = sectors_ * kSectorSize;
    runs_ = 0;
    sectors_ = 0;
    const uint8_t* payload = ws_.data;
    // Packed only where that is smaller, length field included.
    if (out_ && ws_.packed) {
      const uint32_t packed = Lz4Compress(ws_.data, c.payload, ws_.packed,
                                          c.payload - kPackedLengthSize - 1, *ws_.table);
      if (packed) {
        c.kind = ChunkKind::kLz4;
        c.payload = packed;
        payload = ws_.packed;
      }
    }
    if (!batch_.on()) return Write(c, payload);
    Status s = batch_.Keep(c, ws_, payload);
    ++kept_;
    while (s.ok() && batch_.full() && !batch_.empty()) s = Emit();
    return s;
  }

  // Takes the next kept chunk back and writes it.
  Status Emit() {
    KeptChunk c;
    const Status s = batch_.Take(&c, ws_);
    if (!s.ok()) return s;
    --kept_;
    return Write(c, ws_.data);
  }

  // Writes chunk `kept`, its map in ws.map and its payload at `payload`.
  Status Write(const KeptChunk& kept, const uint8_t* payload) {
    const bool packed = kept.kind == ChunkKind::kLz4;
    const uint32_t length_size = packed ? kPackedLengthSize : 0;
    if (out_) {
      ChunkHead c;
      c.index = summary_.chunks;
      c.base = kept.base;
      c.runs = kept.runs;
      c.map_bytes = kept.map_bytes;
      c.sectors = kept.sectors;
      c.kind = kept.kind;
      uint8_t length[kPackedLengthSize];
      Store32(length, kept.payload);
      // The CRC covers the chunk's bytes as the image holds them.
      c.crc =
          Crc32(Crc32(Crc32(0, ws_.map, c.map_bytes), length, length_size), payload, kept.payload);
      uint8_t head[kChunkHeaderSize];
      EncodeChunkHead(c, head);
      chain_ = ChainCrc(chain_, c.crc);
      Status s = out_->Write(head, kChunkHeaderSize);
      if (s.ok()) s = out_->Write(ws_.map, c.map_bytes);
      if (s.ok() && packed) s = out_->Write(length, kPackedLengthSize);
      if (s.ok()) s = out_->Write(payload, kept.payload);
      if (!s.ok()) return s;
    }
    summary_.chunks += 1;
    summary_.data_sectors += kept.sectors;
    summary_.bytes += kChunkHeaderSize + kept.map_bytes + length_size + kept.payload;
    if (progress_) progress_->Update(summary_.data_sectors, total_);
    return Status::Ok();
  }

  SectorDisk* disk_;
  uint32_t first_;
  ImageOutput* out_;
  Workspace& ws_;
  const uint32_t chunk_sectors_;
  ChunkBatch batch_;
  Progress* progress_;
  uint32_t total_;
  uint32_t run_skip_[kMaxRuns];
  uint32_t run_length_[kMaxRuns];
  uint32_t runs_ = 0, sectors_ = 0, base_ = 0, end_ = 0;
  uint32_t kept_ = 0;  // chunks in the batch
  uint32_t chain_ = 0;
  ImageSummary summary_;
};

Status FeedRuns(SectorDisk& disk, const ImageSource& source, const LeftOut& left_out, Workspace& ws,
                ChunkWriter& writer) {
  UsedRuns runs(disk, source.partition.first, source.layout, ws.fat, &left_out);
  for (;;) {
    uint32_t start = 0, count = 0;
    Status s = runs.Next(&start, &count);
    if (!s.ok()) return s;
    if (count == 0) break;
    s = writer.Add(start, count);
    if (!s.ok()) return s;
  }
  return writer.Finish();
}

// --- Reading ------------------------------------------------------------------

// Reads exactly `size` bytes; a short read is an image cut short.
class ExactReader {
 public:
  explicit ExactReader(ImageInput& in) : in_(in) {}
  Status Read(uint8_t* data, uint32_t size) {
    uint32_t got = 0;
    const Status s = in_.Read(data, size, &got);
    if (!s.ok()) return Status::Fail(s.fault, offset_, s.detail);
    offset_ += got;
    if (got != size) return Status::Fail(Fault::kCutShort, offset_);
    return Status::Ok();
  }
  uint64_t offset() const { return offset_; }

 private:
  ImageInput& in_;
  uint64_t offset_ = 0;
};

// One pass over an image: the header, then a chunk at a time, then the
// completion record; with a disk, each checked chunk's runs are written.
class ImageReader {
 public:
  ImageReader(ImageInput& in, Workspace& ws) : reader_(in), ws_(ws) {}

  Status ReadHeader(ImageHeader* header) {
    const Status s = reader_.Read(ws_.record, kHeaderSize);
    if (!s.ok()) return s.fault == Fault::kCutShort ? Status::Fail(Fault::kNotAnImage) : s;
    const Status decoded = DecodeHeader(ws_.record, &header_);
    if (decoded.ok()) *header = header_;
    summary_.bytes = kHeaderSize;
    return decoded;
  }

  // The next chunk into ws.map and ws.data, checked; false in `*more` at
  // the completion record, whose first bytes are then in ws.record.
  Status ReadChunk(ChunkHead* c, bool* more) {
    uint8_t* head = ws_.record;
    Status s = reader_.Read(head, kChunkHeaderSize);
    if (!s.ok()) return s;
    *more = !IsTrailer(head);
    if (!*more) return Status::Ok();
    s = DecodeChunkHead(head, summary_.chunks, header_.major, c);
    if (!s.ok()) return s;
    s = reader_.Read(ws_.map, c->map_bytes);
    if (!s.ok()) return s;
    uint32_t payload = 0;
    s = c->kind == ChunkKind::kLz4 ? ReadPacked(*c, &payload) : ReadStored(*c, &payload);
    if (!s.ok()) return s;
    summary_.bytes += kChunkHeaderSize + c->map_bytes + payload;
    return Status::Ok();
  }

  // Checks the runs of chunk `c` against the partition; they must come in
  // ascending order and fill the chunk exactly.
  Status CheckRuns(const ChunkHead& c) {
    const uint8_t* p = ws_.map;
    const uint8_t* end = ws_.map + c.map_bytes;
    const uint32_t sectors = header_.sector_count;
    uint32_t position = c.base, total = 0;
    if (c.base < next_free_ || c.base > sectors) return Status::Fail(Fault::kOutOfRange, c.index);
    for (uint32_t r = 0; r < c.runs; ++r) {
      uint32_t skip = 0, length = 0;
      if (!GetVarint(p, end, &skip) || !GetVarint(p, end, &length) || length == 0 ||
          length > c.sectors - total) {
        return Status::Fail(Fault::kChunkDamaged, c.index);
      }
      if (skip > sectors - position || length > sectors - position - skip) {
        return Status::Fail(Fault::kOutOfRange, c.index);
      }
      position += skip + length;
      total += length;
    }
    if (p != end || total != c.sectors) return Status::Fail(Fault::kChunkDamaged, c.index);
    next_free_ = position;
    chain_ = ChainCrc(chain_, c.crc);
    summary_.chunks += 1;
    summary_.data_sectors += c.sectors;
    if (summary_.data_sectors > header_.data_sectors) {
      return Status::Fail(Fault::kChunkDamaged, c.index);
    }
    return Status::Ok();
  }

  // Writes the runs of a checked chunk, whose map and data are in ws.map
  // and ws.data.
  Status WriteRuns(const KeptChunk& c, SectorDisk& disk, uint32_t target_first) {
    const uint8_t* p = ws_.map;
    const uint8_t* end = ws_.map + c.map_bytes;
    uint32_t position = c.base, total = 0;
    for (uint32_t r = 0; r < c.runs; ++r) {
      uint32_t skip = 0, length = 0;
      GetVarint(p, end, &skip);
      GetVarint(p, end, &length);
      position += skip;
      const Status s = disk.Write(target_first + position, static_cast<uint16_t>(length),
                                  ws_.data + total * kSectorSize);
      if (!s.ok()) return s;
      position += length;
      total += length;
    }
    return Status::Ok();
  }

  // The rest of the completion record, and every count it repeats.
  Status ReadTrailer(ImageSummary* summary) {
    uint8_t* r = ws_.record;
    const Status s = reader_.Read(r + kChunkHeaderSize, kTrailerSize - kChunkHeaderSize);
    if (!s.ok()) return s;
    summary_.bytes += kTrailerSize;
    Trailer t;
    if (!DecodeTrailer(r, &t) || t.chunks != summary_.chunks ||
        t.data_sectors != summary_.data_sectors || summary_.data_sectors != header_.data_sectors ||
        t.bytes != summary_.bytes || t.header_crc != header_.crc || t.chain != chain_) {
      return Status::Fail(Fault::kTrailerDamaged);
    }
    *summary = summary_;
    return Status::Ok();
  }

  const ImageHeader& header() const { return header_; }
  const ImageSummary& summary() const { return summary_; }

 private:
  Status ReadStored(const ChunkHead& c, uint32_t* payload) {
    *payload = c.sectors * kSectorSize;
    const Status s = reader_.Read(ws_.data, *payload);
    if (!s.ok()) return s;
    if (Crc32(Crc32(0, ws_.map, c.map_bytes), ws_.data, *payload) != c.crc) {
      return Status::Fail(Fault::kChunkDamaged, c.index);
    }
    return Status::Ok();
  }

  // The block goes to the end of ws.data, is checked, and is decoded in
  // place into its start; it must decode to exactly the chunk's sectors.
  Status ReadPacked(const ChunkHead& c, uint32_t* payload) {
    uint8_t length[kPackedLengthSize];
    Status s = reader_.Read(length, kPackedLengthSize);
    if (!s.ok()) return s;
    const uint32_t packed = Load32(length);
    const uint32_t data_bytes = c.sectors * kSectorSize;
    if (packed == 0 || packed + kPackedLengthSize >= data_bytes) {
      return Status::Fail(Fault::kChunkDamaged, c.index);
    }
    const uint32_t at = data_bytes + Lz4InPlaceMargin(packed) - packed;
    s = reader_.Read(ws_.data + at, packed);
    if (!s.ok()) return s;
    const uint32_t crc = Crc32(Crc32(0, ws_.map, c.map_bytes), length, kPackedLengthSize);
    if (Crc32(crc, ws_.data + at, packed) != c.crc ||
        !Lz4Decompress(ws_.data + at, packed, ws_.data, data_bytes)) {
      return Status::Fail(Fault::kChunkDamaged, c.index);
    }
    *payload = kPackedLengthSize + packed;
    return Status::Ok();
  }

  ExactReader reader_;
  Workspace& ws_;
  ImageHeader header_;
  ImageSummary summary_;
  uint32_t chain_ = 0;
  uint32_t next_free_ = 0;  // runs come in ascending order
};

// Reads the image; with a disk, writes each checked chunk's runs to it.
// With batch memory, chunks are checked into the batch until it is full,
// then written: the image is read one long stretch, then the partition
// written one long stretch. Nothing of a chunk is written before all of it
// is checked, and nothing of a batch before the whole batch is.
template <bool kWrites>
Status ReadImage(ImageInput& in, SectorDisk* disk, uint32_t target_first, uint32_t target_count,
                 Workspace& ws, Progress* progress, ImageHeader* header_out,
                 ImageSummary* summary_out) {
  ImageReader image(in, ws);
  ImageHeader header;
  Status s = image.ReadHeader(&header);
  if (!s.ok()) return s;
  if (header_out) *header_out = header;
  if (kWrites && header.sector_count > target_count) {
    return Status::Fail(Fault::kTooLarge, header.sector_count);
  }
  ChunkBatch batch(kWrites ? ws.batch : nullptr, kChunkSectors);
  uint32_t placed = 0;  // sectors written, or checked where nothing is written
  // Writes what the batch holds.
  [[maybe_unused]] auto place_batch = [&]() {
    Status placed_ok = Status::Ok();
    while (placed_ok.ok() && !batch.empty()) {
      KeptChunk kept;
      placed_ok = batch.Take(&kept, ws);
      if (placed_ok.ok()) placed_ok = image.WriteRuns(kept, *disk, target_first);
      placed += kept.sectors;
      if (placed_ok.ok() && progress) progress->Update(placed, header.data_sectors);
    }
    return placed_ok;
  };
  for (;;) {
    ChunkHead c;
    bool more = false;
    s = image.ReadChunk(&c, &more);
    if (!s.ok()) return s;
    if (!more) break;
    s = image.CheckRuns(c);
    if (!s.ok()) return s;
    // Verifying (and BF) links none of what writes.
    if constexpr (kWrites) {
      KeptChunk kept;
      kept.base = c.base;
      kept.index = c.index;
      kept.runs = c.runs;
      kept.sectors = c.sectors;
      kept.map_bytes = c.map_bytes;
      kept.payload = c.sectors * kSectorSize;
      if (batch.on()) {
        s = batch.Keep(kept, ws, ws.data);
        if (s.ok() && batch.full()) s = place_batch();
        if (!s.ok()) return s;
        continue;
      }
      s = image.WriteRuns(kept, *disk, target_first);
      if (!s.ok()) return s;
    }
    placed += c.sectors;
    if (progress) progress->Update(placed, header.data_sectors);
  }
  ImageSummary summary;
  s = image.ReadTrailer(&summary);
  if constexpr (kWrites) {
    if (s.ok() && batch.on()) s = place_batch();
  }
  if (!s.ok()) return s;
  if (summary_out) *summary_out = summary;
  return Status::Ok();
}

}  // namespace

Status PlanImage(SectorDisk& disk, const ImageSource& source, Workspace& ws, ImageSummary* plan) {
  LeftOut left_out;
  Status s = FindLeftOut(disk, source.partition.first, source.layout, ws.record, ws.fat, &left_out);
  if (!s.ok()) return s;
  ChunkWriter counter(nullptr, 0, nullptr, ws);
  s = FeedRuns(disk, source, left_out, ws, counter);
  if (!s.ok()) return s;
  *plan = counter.summary();
  plan->bytes += kHeaderSize + kTrailerSize;
  plan->left_out_sectors = left_out.clusters * source.layout.sectors_per_cluster;
  return Status::Ok();
}

Status WriteImage(SectorDisk& disk, const ImageSource& source, const ImageSummary& plan,
                  uint16_t dos_date, uint16_t dos_time, ImageOutput& out, Workspace& ws,
                  Progress* progress, ImageSummary* written) {
  LeftOut left_out;
  Status s = FindLeftOut(disk, source.partition.first, source.layout, ws.record, ws.fat, &left_out);
  if (!s.ok()) return s;
  ImageHeader h;
  // Compressed chunks need a reader of 2.0; without them, 1.1 readers
  // read the image (1.0 readers too: the count of what was left out is
  // news to them, not a change).
  h.major = ws.packed ? 2 : 1;
  h.minor = ws.packed ? 0 : 1;
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
  h.left_out_sectors = left_out.clusters * source.layout.sectors_per_cluster;
  h.dos_date = dos_date;
  h.dos_time = dos_time;
  EncodeHeader(h, ws.record);
  const uint32_t header_crc = Load32(ws.record + header::kCrc);
  s = out.Write(ws.record, kHeaderSize);
  if (!s.ok()) return s;

  ChunkWriter writer(&disk, source.partition.first, &out, ws, progress, plan.data_sectors);
  writer.summary().bytes = kHeaderSize;
  s = FeedRuns(disk, source, left_out, ws, writer);
  if (!s.ok()) return s;
  ImageSummary& summary = writer.summary();
  // The FAT changed under us (it must not): the header would lie.
  if (summary.data_sectors != plan.data_sectors) return Status::Fail(Fault::kFileSystem);
  summary.bytes += kTrailerSize;
  summary.left_out_sectors = h.left_out_sectors;

  Trailer t;
  t.chunks = summary.chunks;
  t.data_sectors = summary.data_sectors;
  t.bytes = summary.bytes;
  t.header_crc = header_crc;
  t.chain = writer.chain();
  EncodeTrailer(t, ws.record);
  s = out.Write(ws.record, kTrailerSize);
  if (!s.ok()) return s;
  if (written) *written = summary;
  return Status::Ok();
}

Status ReadImageHeader(ImageInput& in, Workspace& ws, ImageHeader* header) {
  ImageReader image(in, ws);
  return image.ReadHeader(header);
}

Status CheckImageEnds(const uint8_t* header_bytes, const uint8_t* trailer_bytes,
                      uint64_t image_bytes, ImageHeader* header) {
  if (image_bytes < kHeaderSize + kTrailerSize) return Status::Fail(Fault::kNotAnImage);
  const Status s = DecodeHeader(header_bytes, header);
  if (!s.ok()) return s;
  if (!IsTrailer(trailer_bytes)) return Status::Fail(Fault::kCutShort);
  Trailer t;
  if (!DecodeTrailer(trailer_bytes, &t) || t.header_crc != header->crc ||
      t.data_sectors != header->data_sectors || t.bytes != image_bytes) {
    return Status::Fail(Fault::kTrailerDamaged);
  }
  return Status::Ok();
}

Status VerifyImage(ImageInput& in, Workspace& ws, Progress* progress, ImageHeader* header,
                   ImageSummary* summary) {
  return ReadImage<false>(in, nullptr, 0, 0, ws, progress, header, summary);
}

Status RestoreImage(ImageInput& in, SectorDisk& disk, uint32_t target_first, uint32_t target_count,
                    Workspace& ws, Progress* progress, ImageSummary* summary) {
  return ReadImage<true>(in, &disk, target_first, target_count, ws, progress, nullptr, summary);
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
