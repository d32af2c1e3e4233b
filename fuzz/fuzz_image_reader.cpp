// VerifyImage on any image, whole or in two parts: it never crashes and
// fails only with the faults of a damaged or incomplete image. Whatever it
// accepts, RestoreImage writes into a partition of the header's size
// without error: each sector at most once, in ascending order, inside the
// partition and exactly as many as the image holds; a partition one sector
// smaller is refused before any write. With a flag, the restores go through
// batch memory of a size the input chooses.
//
// The input: a flags byte, four bytes that choose where the image is cut,
// then either the image itself or edits of a built-in image of a small
// FAT12 volume, with its chunks stored or (a flag) compressed with LZ4. The built-in image has
// three chunks, several runs in each and a bad cluster, so short inputs reach deep into the reader.
// The edits may be resealed (every CRC and count made right again), which lets damaged run maps and
// counts get past the checksums.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "dos/engine/bytes.h"
#include "dos/engine/crc32.h"
#include "dos/engine/image.h"
#include "fuzz/dos_memory.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace orvane::dos;
using orvane::fuzz::Expect;
using orvane::fuzz::MemoryDisk;
using orvane::fuzz::MemoryOutput;
using orvane::fuzz::PartsInput;

constexpr uint8_t kRawImage = 1;       // the input is the image, not edits
constexpr uint8_t kReseal = 2;         // make the CRCs and counts right again
constexpr uint8_t kSplit = 4;          // two parts
constexpr uint8_t kSecondMissing = 8;  // the second part cannot be opened
constexpr uint8_t kTruncate = 16;      // the image ends at the cut
constexpr uint8_t kOffsetTarget = 32;  // restore at sector 63 of the disk
constexpr uint8_t kPacked = 64;        // edits of the built-in image with LZ4 chunks
constexpr uint8_t kBatched = 128;      // the restores go through batch memory

// A FAT12 volume of 300 sectors, one sector a cluster: boot sector, two
// FATs of two sectors, a root directory of four, clusters 2 to 292 from
// sector 9. Clusters in use lie in fragments, one of them broken by a bad
// cluster; data sectors hold a pattern of their number.
constexpr uint32_t kVolumeSectors = 300;
constexpr uint32_t kFatSectors = 2;
constexpr uint32_t kRootSectors = 4;
constexpr uint32_t kFirstData = 1 + 2 * kFatSectors + kRootSectors;
constexpr uint32_t kBadCluster = 120;
constexpr std::pair<uint32_t, uint32_t> kUsed[] = {{2, 34},    {40, 42},   {45, 46},  {50, 120},
                                                   {121, 141}, {200, 204}, {260, 293}};

void SetFat12(uint8_t* fat, uint32_t cluster, uint16_t value) {
  uint8_t* p = fat + cluster + cluster / 2;
  if (cluster & 1) {
    p[0] = static_cast<uint8_t>((p[0] & 0x0F) | (value << 4));
    p[1] = static_cast<uint8_t>(value >> 4);
  } else {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>((p[1] & 0xF0) | ((value >> 8) & 0x0F));
  }
}

void DirEntry(uint8_t* e, const char* name, uint8_t attributes, uint16_t cluster, uint32_t size) {
  std::memcpy(e, name, 11);
  e[11] = attributes;
  Store16(e + 26, cluster);
  Store32(e + 28, size);
}

std::vector<uint8_t> SeedVolume() {
  std::vector<uint8_t> v(kVolumeSectors * kSectorSize);
  for (size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<uint8_t>((i / kSectorSize) * 131 + i * 7);
  std::fill_n(v.begin(), kFirstData * kSectorSize, 0);

  uint8_t* boot = v.data();
  const uint8_t jump[] = {0xEB, 0x3C, 0x90};
  std::memcpy(boot, jump, 3);
  std::memcpy(boot + 3, "ORVANE  ", 8);
  Store16(boot + 0x0B, kSectorSize);
  boot[0x0D] = 1;
  Store16(boot + 0x0E, 1);
  boot[0x10] = 2;
  Store16(boot + 0x11, kRootSectors * kSectorSize / 32);
  Store16(boot + 0x13, kVolumeSectors);
  boot[0x15] = 0xF8;
  Store16(boot + 0x16, kFatSectors);
  boot[0x24] = 0x80;
  boot[0x26] = 0x29;
  Store32(boot + 0x27, 0x1234ABCD);
  std::memcpy(boot + 0x2B, "FUZZ SEED  ", 11);
  std::memcpy(boot + 0x36, "FAT12   ", 8);
  boot[510] = 0x55;
  boot[511] = 0xAA;

  for (uint32_t copy = 0; copy < 2; ++copy) {
    uint8_t* fat = v.data() + (1 + copy * kFatSectors) * kSectorSize;
    SetFat12(fat, 0, 0xFF8);
    SetFat12(fat, 1, 0xFFF);
    for (const auto& [first, end] : kUsed) {
      for (uint32_t c = first; c < end; ++c) {
        SetFat12(fat, c, static_cast<uint16_t>(c + 1 < end ? c + 1 : 0xFFF));
      }
    }
    SetFat12(fat, kBadCluster, 0xFF7);
  }
  uint8_t* root = v.data() + (1 + 2 * kFatSectors) * kSectorSize;
  DirEntry(root, "FUZZ SEED  ", 0x08, 0, 0);
  DirEntry(root + 32, "KERNEL  SYS", 0x20, 2, 32 * kSectorSize);
  DirEntry(root + 64, "DATA    BIN", 0x20, 50, 70 * kSectorSize);
  return v;
}

// The built-in image and its records (offset, length): the header, each
// chunk whole and its header, run map and data apart, and the completion
// record.
struct Seed {
  std::vector<uint8_t> image;
  std::vector<std::pair<size_t, size_t>> records;
};

// The chunk's body after its header: the map and the sectors, or (an LZ4
// chunk) the map, the block's length and the block; what its CRC covers.
size_t ChunkBody(const uint8_t* head, size_t available) {
  const size_t map = Load16(head + 14);
  size_t body = map + Load16(head + 16) * size_t{kSectorSize};
  if (Load16(head + 18) == 1 && kChunkHeaderSize + map + 4 <= available) {
    body = map + 4 + Load32(head + kChunkHeaderSize + map);
  }
  return std::min(body, available - kChunkHeaderSize);
}

Seed MakeSeed(bool packed) {
  const std::vector<uint8_t> volume = SeedVolume();
  MemoryDisk disk(volume, kVolumeSectors);
  auto ws = std::make_unique<Workspace>();
  auto packing = std::make_unique<uint8_t[]>(kChunkSectors * kSectorSize);
  auto table = std::make_unique<Lz4Table>();
  if (packed) {
    ws->packed = packing.get();
    ws->table = table.get();
  }
  ImageSource source;
  source.partition.type = 0x01;
  source.partition.first = 0;
  source.partition.count = kVolumeSectors;
  Status s = ReadVolumeLayout(disk, source.partition, ws->record, &source.layout);
  Expect(s.ok() && source.layout.fs == FileSystem::kFat12, "the built-in volume reads as FAT12");
  ImageSummary plan, written;
  s = PlanImage(disk, source, *ws, &plan);
  MemoryOutput out;
  if (s.ok()) s = WriteImage(disk, source, plan, 0x5988, 0x7000, out, *ws, nullptr, &written);
  Expect(s.ok() && written.chunks == 3, "the built-in image is written, in three chunks");

  Seed seed{std::move(out.bytes), {}};
  seed.records.emplace_back(0, kHeaderSize);
  size_t at = kHeaderSize;
  bool any_packed = false;
  while (std::memcmp(&seed.image[at], "CHNK", 4) == 0) {
    const size_t map = Load16(&seed.image[at + 14]);
    const size_t body = ChunkBody(&seed.image[at], seed.image.size() - at);
    any_packed = any_packed || Load16(&seed.image[at + 18]) == 1;
    seed.records.emplace_back(at, kChunkHeaderSize + body);
    seed.records.emplace_back(at, kChunkHeaderSize);
    seed.records.emplace_back(at + kChunkHeaderSize, map);
    seed.records.emplace_back(at + kChunkHeaderSize + map, body - map);
    at += kChunkHeaderSize + body;
  }
  Expect(any_packed == packed, "the packed built-in image has LZ4 chunks, the other none");
  seed.records.emplace_back(at, kTrailerSize);
  Expect(at + kTrailerSize == seed.image.size(), "the built-in image ends with its trailer");
  return seed;
}

const Seed& BuiltIn(bool packed) {
  static const Seed stored = MakeSeed(false);
  static const Seed compressed = MakeSeed(true);
  return packed ? compressed : stored;
}

// The image as a list of pieces, each bytes of the built-in image or a
// byte of an edit, made into one block once all the edits are applied. An
// edit copies nothing: rebuilding the image at every edit (a vector's
// insert and erase move the whole tail) was most of this target's time.
class PieceImage {
 public:
  // `bytes` stay where they are until Join; `edits` is how many edits
  // may each store one byte.
  PieceImage(std::span<const uint8_t> bytes, size_t edits) : size_(bytes.size()) {
    pieces_.reserve(64);
    if (!bytes.empty()) pieces_.push_back(bytes);
    bytes_.reserve(edits);
  }
  size_t size() const { return size_; }

  // Replaces [from, to) with `bytes`, with one byte (kept here), or with
  // nothing.
  void Replace(size_t from, size_t to, std::span<const uint8_t> bytes) {
    const size_t first = SplitAt(from);
    const size_t end = SplitAt(to);
    pieces_.erase(pieces_.begin() + first, pieces_.begin() + end);
    if (!bytes.empty()) pieces_.insert(pieces_.begin() + first, bytes);
    size_ = size_ - (to - from) + bytes.size();
  }
  void ReplaceWithByte(size_t from, size_t to, uint8_t byte) {
    bytes_.push_back(byte);  // never reallocates: reserved for every edit
    Replace(from, to, std::span(&bytes_.back(), 1));
  }
  void Remove(size_t from, size_t to) { Replace(from, to, {}); }

  std::vector<uint8_t> Join() const {
    std::vector<uint8_t> image(size_);
    size_t at = 0;
    for (const std::span<const uint8_t> piece : pieces_) {
      std::memcpy(image.data() + at, piece.data(), piece.size());
      at += piece.size();
    }
    return image;
  }

 private:
  // The index of the piece that starts at `at` (at most the size), after
  // splitting the piece that holds it.
  size_t SplitAt(size_t at) {
    size_t offset = 0, i = 0;
    for (; i < pieces_.size() && offset + pieces_[i].size() <= at; ++i) offset += pieces_[i].size();
    if (i == pieces_.size() || offset == at) return i;
    const std::span<const uint8_t> piece = pieces_[i];
    pieces_[i] = piece.first(at - offset);
    pieces_.insert(pieces_.begin() + i + 1, piece.subspan(at - offset));
    return i + 1;
  }

  std::vector<std::span<const uint8_t>> pieces_;
  std::vector<uint8_t> bytes_;
  size_t size_;
};

// Edits of five bytes: a record of the built-in image, an offset in it
// (16 bits, modulo its length), a byte and what to do. Offsets are the
// built-in image's; after an insertion or removal they point near the
// same place.
std::vector<uint8_t> Edited(std::span<const uint8_t> edits, bool packed) {
  const Seed& seed = BuiltIn(packed);
  const std::span<const uint8_t> built_in(seed.image);
  PieceImage image(built_in, edits.size() / 5);
  for (size_t i = 0; i + 5 <= edits.size(); i += 5) {
    const auto [start, length] = seed.records[edits[i] % seed.records.size()];
    const size_t at = std::min(start + Load16(&edits[i + 1]) % length, image.size());
    const uint8_t value = edits[i + 3];
    switch (edits[i + 4] % 5) {
      case 0:  // set the byte
        if (at < image.size()) image.ReplaceWithByte(at, at + 1, value);
        break;
      case 1:  // insert the byte
        image.ReplaceWithByte(at, at, value);
        break;
      case 2:  // remove the byte
        if (at < image.size()) image.Remove(at, at + 1);
        break;
      case 3: {  // insert a copy of the record before itself
        const size_t copy_at = std::min(start, image.size());
        image.Replace(copy_at, copy_at, built_in.subspan(start, length));
        break;
      }
      default: {  // remove the record
        const size_t from = std::min(start, image.size());
        const size_t to = std::min(start + length, image.size());
        image.Remove(from, to);
        break;
      }
    }
  }
  return image.Join();
}

// Follows the records as their headers lay them out and makes every
// derived field right: chunk numbers and CRCs, the header's count of data
// sectors and CRC, the completion record's counts, size, CRCs and chain.
void Reseal(std::vector<uint8_t>& image) {
  if (image.size() < kHeaderSize) return;
  size_t at = kHeaderSize;
  uint32_t chunks = 0, sectors = 0, chain = 0;
  while (at + kChunkHeaderSize <= image.size() && std::memcmp(&image[at], "CHNK", 4) == 0) {
    uint8_t* head = &image[at];
    const size_t body = ChunkBody(head, image.size() - at);
    Store32(head + 4, chunks);
    Store32(head + 20, Crc32(0, head + kChunkHeaderSize, body));
    Store32(head + 24, Crc32(0, head, 24));
    chain = Crc32(chain, head + 20, 4);
    ++chunks;
    sectors += Load16(head + 16);
    at += kChunkHeaderSize + body;
  }
  Store32(&image[56], sectors);
  Store32(&image[508], Crc32(0, image.data(), 508));
  if (at + kTrailerSize <= image.size() && std::memcmp(&image[at], "ORVANEOK", 8) == 0) {
    uint8_t* t = &image[at];
    const uint64_t bytes = at + kTrailerSize;
    Store32(t + 8, chunks);
    Store32(t + 12, sectors);
    Store32(t + 16, static_cast<uint32_t>(bytes));
    Store32(t + 20, static_cast<uint32_t>(bytes >> 32));
    Store32(t + 24, Load32(&image[508]));
    Store32(t + 28, chain);
    Store32(t + 60, Crc32(0, t, 60));
  }
}

// Progress counts up, never past the total.
class ProgressCheck final : public Progress {
 public:
  void Update(uint32_t done, uint32_t total) override {
    Expect(done > last_ && done <= total, "progress counts up to its total");
    last_ = done;
  }

 private:
  uint32_t last_ = 0;
};

// The partition RestoreImage writes to: sectors [first, first + count) of
// a disk of first + count sectors. Keeps nothing, checks every write.
class RestoreTarget final : public SectorDisk {
 public:
  RestoreTarget(uint32_t first, uint32_t count) : first_(first), count_(count), next_(first) {}
  Status Read(uint32_t lba, uint16_t, uint8_t*) override {
    Expect(false, "RestoreImage reads no disk sector");
    return Status::Fail(Fault::kDiskRead, lba);
  }
  Status Write(uint32_t lba, uint16_t count, const uint8_t*) override {
    Expect(count > 0, "RestoreImage writes at least one sector at a time");
    Expect(lba >= first_ && uint64_t{lba} + count <= uint64_t{first_} + count_,
           "RestoreImage writes inside the target partition");
    Expect(lba >= next_, "RestoreImage writes each sector once, in ascending order");
    next_ = lba + count;
    written += count;
    return Status::Ok();
  }
  uint32_t SectorCount() override { return first_ + count_; }

  uint64_t written = 0;

 private:
  uint32_t first_, count_, next_;
};

// Batch memory of any size from under two chunks up.
class VectorBatch final : public BatchMemory {
 public:
  explicit VectorBatch(uint32_t bytes) : bytes_(bytes) {}
  uint32_t Capacity() override { return static_cast<uint32_t>(bytes_.size()); }
  bool Put(uint32_t at, const uint8_t* data, uint32_t size) override {
    Expect(at % 2 == 0 && size % 2 == 0 && size <= bytes_.size() && at <= bytes_.size() - size,
           "the engine keeps chunks inside the batch memory, at even offsets");
    std::memcpy(bytes_.data() + at, data, size);
    return true;
  }
  bool Get(uint32_t at, uint8_t* data, uint32_t size) override {
    Expect(at % 2 == 0 && size % 2 == 0 && size <= bytes_.size() && at <= bytes_.size() - size,
           "the engine takes chunks from inside the batch memory, at even offsets");
    std::memcpy(data, bytes_.data() + at, size);
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
};

bool IsImageFault(Fault fault) {
  switch (fault) {
    case Fault::kNotAnImage:
    case Fault::kVersion:
    case Fault::kHeaderDamaged:
    case Fault::kChunkDamaged:
    case Fault::kCutShort:
    case Fault::kTrailerDamaged:
    case Fault::kOutOfRange:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  BuiltIn(false);
  BuiltIn(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t prefix[5] = {};
  const size_t prefix_size = std::min<size_t>(size, sizeof prefix);
  if (prefix_size > 0) std::memcpy(prefix, data, prefix_size);
  const uint8_t flags = prefix[0];
  const uint32_t cut_choice = Load32(prefix + 1);
  const std::span<const uint8_t> rest(data + prefix_size, size - prefix_size);

  std::vector<uint8_t> image = (flags & kRawImage) ? std::vector<uint8_t>(rest.begin(), rest.end())
                                                   : Edited(rest, (flags & kPacked) != 0);
  if (flags & kReseal) Reseal(image);
  if (flags & kTruncate) image.resize(cut_choice % (image.size() + 1));
  const std::span<const uint8_t> whole(image);
  const size_t split = (flags & kSplit) ? (cut_choice >> 8) % (image.size() + 1) : image.size();
  const bool missing = (flags & kSplit) && (flags & kSecondMissing);
  const auto input = [&] { return PartsInput(whole.first(split), whole.subspan(split), missing); };

  auto ws = std::make_unique<Workspace>();
  ImageHeader header;
  ImageSummary summary;
  {
    PartsInput in = input();
    ProgressCheck progress;
    const Status s = VerifyImage(in, *ws, &progress, &header, &summary);
    if (!s.ok()) {
      Expect(IsImageFault(s.fault) || (missing && s.fault == Fault::kPartMissing),
             "VerifyImage fails only as an image can be damaged or incomplete");
      return 0;
    }
  }
  Expect(summary.bytes <= image.size(), "the image VerifyImage read is no longer than its input");
  Expect(summary.data_sectors == header.data_sectors && header.data_sectors <= header.sector_count,
         "the image holds the data sectors its header counts");

  VectorBatch batch(60'000 + (cut_choice >> 16) % 200'000);
  if (flags & kBatched) ws->batch = &batch;
  const uint32_t count = header.sector_count;
  const uint32_t first = (flags & kOffsetTarget) && count <= UINT32_MAX - 63 ? 63 : 0;
  if (count > 0) {
    PartsInput in = input();
    RestoreTarget smaller(first, count - 1);
    const Status s = RestoreImage(in, smaller, first, count - 1, *ws, nullptr, nullptr);
    Expect(s.fault == Fault::kTooLarge && smaller.written == 0,
           "a partition smaller than the image's is refused before any write");
  }
  PartsInput in = input();
  RestoreTarget target(first, count);
  ProgressCheck progress;
  ImageSummary restored;
  const Status s = RestoreImage(in, target, first, count, *ws, &progress, &restored);
  Expect(s.ok(), "an image VerifyImage accepts restores");
  Expect(restored.chunks == summary.chunks && restored.data_sectors == summary.data_sectors &&
             restored.bytes == summary.bytes,
         "RestoreImage reads the image VerifyImage read");
  Expect(target.written == summary.data_sectors,
         "RestoreImage writes every sector the image holds");
  return 0;
}
