#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dos/engine/bytes.h"
#include "dos/engine/crc32.h"
#include "dos/engine/image.h"
#include "dos/engine/tests/fat_volumes.h"
#include "dos/host/image_files.h"

namespace orvane::dos {
namespace {

using host::FileDisk;
using host::ImageFileReader;
using host::ImageFileWriter;
using testing::ActivateSecondFat;
using testing::AllocatedBytes;
using testing::Fill;
using testing::MakeVolume;
using testing::MemoryDisk;
using testing::ReadFile;
using testing::ScratchDir;
using testing::Shell;
using testing::WriteFile;

// An image in memory.
class MemoryImage final : public ImageOutput, public ImageInput {
 public:
  MemoryImage() = default;
  explicit MemoryImage(std::vector<uint8_t> bytes) : bytes(std::move(bytes)) {}
  Status Write(const uint8_t* data, uint32_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return Status::Ok();
  }
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override {
    *got = static_cast<uint32_t>(std::min<size_t>(size, bytes.size() - at));
    std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(at), *got, data);
    at += *got;
    return Status::Ok();
  }
  std::vector<uint8_t> bytes;
  size_t at = 0;
};

ImageSource SourceOf(SectorDisk& disk, uint32_t first, uint32_t count, Workspace& ws) {
  ImageSource source;
  source.partition.first = first;
  source.partition.count = count;
  source.partition.type = 0x06;
  EXPECT_TRUE(ReadVolumeLayout(disk, source.partition, ws.record, &source.layout).ok());
  return source;
}

Status Backup(SectorDisk& disk, const ImageSource& source, ImageOutput& out, Workspace& ws,
              ImageSummary* written = nullptr) {
  ImageSummary plan, result;
  Status s = PlanImage(disk, source, ws, &plan);
  if (!s.ok()) return s;
  s = WriteImage(disk, source, plan, 0x5988, 0x7000, out, ws, nullptr, &result);
  if (s.ok()) {
    EXPECT_EQ(result.bytes, plan.bytes) << "the plan counts the image exactly";
  }
  if (written) *written = result;
  return s;
}

struct VolumeCase {
  const char* name;
  int fat_bits;
  int cluster_bytes;
  uint32_t kib;
  Fill fill;
  uint64_t part_limit;
  bool second_fat_active = false;  // FAT32 mirroring off, FAT 0 stale
};

class ImageRoundTrip : public ::testing::TestWithParam<VolumeCase> {};

// Back up a volume made by mkfs.fat, restore it into an empty partition
// file: fsck finds nothing, every file comes back byte for byte, and the
// image is hardly larger than what the volume holds.
TEST_P(ImageRoundTrip, RestoredVolumeHoldsEveryFile) {
  const VolumeCase& c = GetParam();
  ScratchDir dir;
  const std::string volume = dir / "volume.img", image = dir / "image.gho";
  MakeVolume(volume, c.fat_bits, c.cluster_bytes, c.kib, c.fill, dir / "files", c.kib);
  if (HasFatalFailure()) return;
  if (c.second_fat_active) {
    ActivateSecondFat(volume);
    if (HasFatalFailure()) return;
  }

  auto ws = std::make_unique<Workspace>();
  FileDisk disk;
  ASSERT_TRUE(disk.Open(volume, false));
  const ImageSource source = SourceOf(disk, 0, disk.SectorCount(), *ws);
  ASSERT_EQ(static_cast<int>(source.layout.fs), c.fat_bits);
  ASSERT_EQ(source.layout.sectors_per_cluster * 512, uint32_t(c.cluster_bytes));
  ASSERT_EQ(source.layout.active_fat, c.second_fat_active ? 1 : 0);
  ImageFileWriter writer(image, c.part_limit);
  ImageSummary written;
  ASSERT_TRUE(Backup(disk, source, writer, *ws, &written).ok());
  ASSERT_TRUE(writer.Close());

  const uint64_t allocated = AllocatedBytes(volume);
  EXPECT_LE(written.bytes, allocated + allocated / 100 + 65536)
      << "allocated " << allocated << " bytes";

  ImageFileReader reader(image);
  ASSERT_TRUE(reader.Open());
  ImageHeader header;
  ImageSummary verified;
  const Status checked = VerifyImage(reader, *ws, nullptr, &header, &verified);
  ASSERT_TRUE(checked.ok()) << FaultText(checked.fault) << " at " << checked.where;
  EXPECT_EQ(verified.bytes, written.bytes);
  EXPECT_EQ(header.serial, 0x1000u + c.kib);
  if (c.part_limit < written.bytes) {
    EXPECT_GT(reader.parts_opened(), 1u);
  }

  const std::string restored = dir / "restored.img";
  ASSERT_EQ(Shell("truncate -s " + std::to_string(uint64_t{disk.SectorCount()} * 512) + " '" +
                  restored + "'"),
            0);
  {
    FileDisk target;
    ASSERT_TRUE(target.Open(restored, true));
    ImageFileReader again(image);
    ASSERT_TRUE(again.Open());
    ASSERT_TRUE(RestoreImage(again, target, 0, target.SectorCount(), *ws, nullptr, nullptr).ok());
  }

  std::string output;
  // fsck.fat reads the first FAT whatever the flags say.
  if (!c.second_fat_active) {
    EXPECT_EQ(Shell("fsck.fat -n '" + restored + "'", &output), 0) << output;
  }
  ASSERT_EQ(Shell("mkdir '" + dir / "out" + "' && mcopy -s -n -i '" + restored + "' '::*' '" +
                      dir / "out" + "/'",
                  &output),
            0)
      << output;
  EXPECT_EQ(Shell("diff -r '" + dir / "files" + "' '" + dir / "out" + "'", &output), 0) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, ImageRoundTrip,
    ::testing::Values(VolumeCase{"Fat12Clusters512", 12, 512, 2000, Fill::kNearlyFull, 1 << 20},
                      VolumeCase{"Fat12Clusters4K", 12, 4096, 8192, Fill::kFragmented, 1 << 30},
                      VolumeCase{"Fat16Clusters512", 16, 512, 16384, Fill::kFragmented, 300000},
                      VolumeCase{"Fat16Clusters2K", 16, 2048, 32768, Fill::kNearlyFull, 1 << 30},
                      VolumeCase{"Fat16Clusters32K", 16, 32768, 262144, Fill::kFragmented, 1 << 30},
                      VolumeCase{"Fat32Clusters512", 32, 512, 34000, Fill::kNearlyFull, 1 << 30},
                      VolumeCase{"Fat32Clusters4K", 32, 4096, 270000, Fill::kFragmented, 1 << 30},
                      VolumeCase{"Fat32Clusters32K", 32, 32768, 2150000, Fill::kFiles, 1 << 30},
                      VolumeCase{"Fat32SecondFatActive", 32, 512, 34000, Fill::kFragmented, 1 << 30,
                                 true}),
    [](const auto& info) { return std::string(info.param.name); });

// A small image of a FAT12 volume, made once for the damage tests.
const std::vector<uint8_t>& SmallImage() {
  static const std::vector<uint8_t> bytes = [] {
    ScratchDir dir;
    MakeVolume(dir / "v.img", 12, 1024, 1440, Fill::kFragmented, dir / "files", 7);
    FileDisk disk;
    EXPECT_TRUE(disk.Open(dir / "v.img", false));
    auto ws = std::make_unique<Workspace>();
    MemoryImage image;
    EXPECT_TRUE(Backup(disk, SourceOf(disk, 0, disk.SectorCount(), *ws), image, *ws).ok());
    return image.bytes;
  }();
  return bytes;
}

Status Verify(std::vector<uint8_t> bytes) {
  MemoryImage image(std::move(bytes));
  auto ws = std::make_unique<Workspace>();
  return VerifyImage(image, *ws, nullptr, nullptr, nullptr);
}

TEST(ImageDamage, EveryFlippedByteAndEveryCutIsRefused) {
  const std::vector<uint8_t>& good = SmallImage();
  ASSERT_GT(good.size(), 100000u);
  ASSERT_TRUE(Verify(good).ok());
  // Each byte of the records, and every 61st byte of the data.
  for (size_t i = 0; i < good.size(); i += (i < 1024 || i + 1024 > good.size()) ? 1 : 61) {
    std::vector<uint8_t> bad = good;
    bad[i] ^= 0x20;
    ASSERT_FALSE(Verify(bad).ok()) << "byte " << i;
  }
  for (size_t size = 0; size < good.size(); size += size < 600 ? 1 : 509) {
    const Status s = Verify({good.begin(), good.begin() + static_cast<ptrdiff_t>(size)});
    ASSERT_FALSE(s.ok()) << "cut at " << size;
    ASSERT_EQ(s.fault, size < kHeaderSize ? Fault::kNotAnImage : Fault::kCutShort) << size;
  }
  std::vector<uint8_t> last_byte_cut(good.begin(), good.end() - 1);
  EXPECT_EQ(Verify(last_byte_cut).fault, Fault::kCutShort);
}

TEST(ImageDamage, ForeignFilesAndNewerFormatsAreNamed) {
  std::vector<uint8_t> zeros(70000), text(70000, 'A');
  EXPECT_EQ(Verify(zeros).fault, Fault::kNotAnImage);
  EXPECT_EQ(Verify(text).fault, Fault::kNotAnImage);
  EXPECT_EQ(Verify({}).fault, Fault::kNotAnImage);

  std::vector<uint8_t> newer = SmallImage();
  newer[8] = kFormatMajor + 1;
  EXPECT_EQ(Verify(newer).fault, Fault::kVersion);

  // A chunk moved: the sequence numbers give it away.
  std::vector<uint8_t> damaged = SmallImage();
  damaged[kHeaderSize + 4] = 1;
  const Status s = Verify(damaged);
  EXPECT_EQ(s.fault, Fault::kChunkDamaged);
  EXPECT_EQ(s.where, 0u);

  // A chunk whose base lies past the partition, every CRC made right: a
  // restore would write outside drive C.
  std::vector<uint8_t> outside = SmallImage();
  const size_t chunk = kHeaderSize;
  outside[chunk + 11] = 0x80;
  Store32(outside.data() + chunk + 24, Crc32(0, outside.data() + chunk, 24));
  const Status beyond = Verify(outside);
  EXPECT_EQ(beyond.fault, Fault::kOutOfRange);
  EXPECT_EQ(beyond.where, 0u);

  // Bytes after the completion record (a stale later part) do not count.
  std::vector<uint8_t> longer = SmallImage();
  longer.resize(longer.size() + 1000, 0xEE);
  EXPECT_TRUE(Verify(longer).ok());
}

TEST(ImageEnds, WholeImagesPassAndCutOrForeignOnesDoNot) {
  const std::vector<uint8_t>& good = SmallImage();
  ImageHeader h;
  auto ends = [&](const std::vector<uint8_t>& bytes) {
    return CheckImageEnds(bytes.data(), bytes.data() + bytes.size() - kTrailerSize, bytes.size(),
                          &h)
        .fault;
  };
  EXPECT_EQ(ends(good), Fault::kNone);
  EXPECT_EQ(h.fs, FileSystem::kFat12);
  EXPECT_EQ(ends({good.begin(), good.end() - 512}), Fault::kCutShort);
  std::vector<uint8_t> longer = good;
  longer.resize(good.size() + kTrailerSize);
  std::copy(good.end() - kTrailerSize, good.end(), longer.end() - kTrailerSize);
  EXPECT_EQ(ends(longer), Fault::kTrailerDamaged) << "the record counts the bytes before it";
  EXPECT_EQ(ends(std::vector<uint8_t>(good.size(), 'x')), Fault::kNotAnImage);
}

TEST(ImageParts, MissingOrCutPartIsRefusedAndNamesFollowTheFirst) {
  char name[32];
  ASSERT_TRUE(ImagePartName("D:\\IMG\\SYS.GHO", 0, name, sizeof name));
  EXPECT_STREQ(name, "D:\\IMG\\SYS.GHO");
  ASSERT_TRUE(ImagePartName("D:\\IMG\\SYS.GHO", 7, name, sizeof name));
  EXPECT_STREQ(name, "D:\\IMG\\SYS.G07");
  ASSERT_TRUE(ImagePartName("D:\\IMG.X\\SYS", 12, name, sizeof name));
  EXPECT_STREQ(name, "D:\\IMG.X\\SYS.G12");
  EXPECT_FALSE(ImagePartName("SYS.GHO", 100, name, sizeof name));
  EXPECT_FALSE(ImagePartName("SYS.GHO", 1, name, 7));

  ScratchDir dir;
  const std::string image = dir / "SYS.GHO";
  const std::vector<uint8_t>& good = SmallImage();
  unsigned parts = 0;
  {
    ImageFileWriter writer(image, 40000);
    ASSERT_TRUE(writer.Write(good.data(), static_cast<uint32_t>(good.size())).ok());
    ASSERT_TRUE(writer.Close());
    parts = writer.parts();
    ASSERT_GE(parts, 3u);
  }
  auto verify = [&] {
    ImageFileReader reader(image);
    EXPECT_TRUE(reader.Open());
    auto ws = std::make_unique<Workspace>();
    return VerifyImage(reader, *ws, nullptr, nullptr, nullptr);
  };
  EXPECT_TRUE(verify().ok());
  const std::vector<uint8_t> second = ReadFile(dir / "SYS.G01");
  WriteFile(dir / "SYS.G01", {second.begin(), second.end() - 1});
  EXPECT_FALSE(verify().ok());

  // A part missing is told from an image cut short: a later part is
  // there, or the part before it is full.
  std::remove((dir / "SYS.G01").c_str());
  Status s = verify();
  EXPECT_EQ(s.fault, Fault::kPartMissing);
  EXPECT_EQ(s.detail, 1u);
  WriteFile(dir / "SYS.G01", second);
  const std::string last_part = host::PartPath(image, parts - 1);
  const std::vector<uint8_t> end = ReadFile(last_part);
  std::remove(last_part.c_str());
  s = verify();
  EXPECT_EQ(s.fault, Fault::kPartMissing);
  EXPECT_EQ(s.detail, parts - 1);
  WriteFile(last_part, {end.begin(), end.end() - 1});
  EXPECT_EQ(verify().fault, Fault::kCutShort) << "the last part cut short";
}

// An image `end` bytes long made of one image's header and first chunk,
// the chunk repeated and renumbered (its runs are the same relative to its
// base, so the CRC of its data is too): past 4 GiB without holding it.
class RepeatedChunk final : public ImageInput {
 public:
  RepeatedChunk(std::vector<uint8_t> first, uint64_t end) : bytes_(std::move(first)), end_(end) {}
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override {
    const size_t chunk = bytes_.size() - kHeaderSize;
    for (*got = 0; *got < size && at_ < end_;) {
      const size_t from = at_ < kHeaderSize ? at_ : kHeaderSize + (at_ - kHeaderSize) % chunk;
      if (from == kHeaderSize) {
        uint8_t* head = bytes_.data() + kHeaderSize;
        const auto index = static_cast<uint32_t>((at_ - kHeaderSize) / chunk);
        Store32(head + 4, index);
        Store32(head + 8, index * kChunkSectors);
        Store32(head + 24, Crc32(0, head, 24));
      }
      const uint64_t n = std::min<uint64_t>(
          {size - *got, end_ - at_, (at_ < kHeaderSize ? kHeaderSize : bytes_.size()) - from});
      std::copy_n(bytes_.begin() + static_cast<ptrdiff_t>(from), n, data + *got);
      at_ += n;
      *got += static_cast<uint32_t>(n);
    }
    return Status::Ok();
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t end_, at_ = 0;
};

// An image cut past 4 GiB names the byte where it ends, not that byte
// less 4 GiB.
TEST(ImageDamage, ACutPast4GiBNamesItsByte) {
  MemoryDisk disk(kChunkSectors);
  for (size_t i = 0; i < disk.bytes().size(); ++i) disk.bytes()[i] = static_cast<uint8_t>(i * 7);
  auto ws = std::make_unique<Workspace>();
  ImageSource source;
  source.partition = {0x80, 0x07, true, 0, kChunkSectors};
  source.layout.total_sectors = kChunkSectors;
  MemoryImage image;
  ASSERT_TRUE(Backup(disk, source, image, *ws).ok());
  // The header made to claim a partition of 2^32 - 1 sectors, all in use.
  std::vector<uint8_t> first(image.bytes.begin(), image.bytes.end() - kTrailerSize);
  Store32(first.data() + 24, 0xFFFFFFFF);
  Store32(first.data() + 56, 0xFFFFFFFF);
  Store32(first.data() + 508, Crc32(0, first.data(), 508));
  const uint64_t end = kHeaderSize + uint64_t{131000} * (first.size() - kHeaderSize) + 1000;
  RepeatedChunk cut(first, end);
  const Status s = VerifyImage(cut, *ws, nullptr, nullptr, nullptr);
  EXPECT_EQ(s.fault, Fault::kCutShort);
  EXPECT_EQ(s.where, end);
}

// A partition inside a disk: the image names where it was, and a restore
// writes only the image's sectors of the target partition.
TEST(ImageDisk, RestoreWritesOnlyInsideThePartitionAndChecksItsSize) {
  ScratchDir dir;
  MakeVolume(dir / "v.img", 16, 2048, 20000, Fill::kFragmented, dir / "files", 3);
  const std::vector<uint8_t> volume = ReadFile(dir / "v.img");
  const uint32_t sectors = static_cast<uint32_t>(volume.size() / 512);
  MemoryDisk disk(63 + sectors + 10);
  std::copy(volume.begin(), volume.end(), disk.bytes().begin() + 63 * 512);

  auto ws = std::make_unique<Workspace>();
  const ImageSource source = SourceOf(disk, 63, sectors, *ws);
  MemoryImage image;
  ASSERT_TRUE(Backup(disk, source, image, *ws).ok());

  // The target: the same partition filled with another pattern.
  MemoryDisk target(63 + sectors + 10);
  std::fill(target.bytes().begin(), target.bytes().end(), 0xA5);
  image.at = 0;
  ASSERT_TRUE(RestoreImage(image, target, 63, sectors - 1, *ws, nullptr, nullptr).fault ==
              Fault::kTooLarge);
  EXPECT_EQ(target.writes, 0u) << "a partition too small is refused before any write";

  image.at = 0;
  ASSERT_TRUE(RestoreImage(image, target, 63, sectors, *ws, nullptr, nullptr).ok());
  for (uint32_t s = 0; s < 63; ++s) ASSERT_EQ(target.bytes()[s * 512 + 7], 0xA5) << s;
  for (uint32_t s = 63 + sectors; s < 63 + sectors + 10; ++s) {
    ASSERT_EQ(target.bytes()[s * 512], 0xA5) << s;
  }
  // Everything before the data area comes back exactly.
  const uint32_t system = source.layout.first_data_sector;
  EXPECT_TRUE(std::equal(disk.bytes().begin() + 63 * 512,
                         disk.bytes().begin() + (63 + system) * 512,
                         target.bytes().begin() + 63 * 512));
}

TEST(ImageDisk, ReadAndWriteErrorsNameTheSector) {
  ScratchDir dir;
  MakeVolume(dir / "v.img", 12, 512, 1440, Fill::kFiles, dir / "files", 5);
  const std::vector<uint8_t> volume = ReadFile(dir / "v.img");
  const uint32_t sectors = static_cast<uint32_t>(volume.size() / 512);
  MemoryDisk disk(100 + sectors);
  std::copy(volume.begin(), volume.end(), disk.bytes().begin() + 100 * 512);
  auto ws = std::make_unique<Workspace>();
  const ImageSource source = SourceOf(disk, 100, sectors, *ws);

  disk.bad_reads = {100 + source.layout.first_data_sector + 3};
  MemoryImage image;
  ImageSummary plan;
  ASSERT_TRUE(PlanImage(disk, source, *ws, &plan).ok()) << "the plan reads no data";
  Status s = WriteImage(disk, source, plan, 0, 0, image, *ws, nullptr, nullptr);
  EXPECT_EQ(s.fault, Fault::kDiskRead);
  EXPECT_EQ(s.where, disk.bad_reads[0]);

  disk.bad_reads = {100u + source.layout.reserved_sectors};  // the FAT itself
  EXPECT_EQ(PlanImage(disk, source, *ws, &plan).fault, Fault::kDiskRead);

  disk.bad_reads.clear();
  image.bytes.clear();
  ASSERT_TRUE(Backup(disk, source, image, *ws).ok());
  MemoryDisk target(100 + sectors);
  target.bad_writes = {100 + 5};
  s = RestoreImage(image, target, 100, sectors, *ws, nullptr, nullptr);
  EXPECT_EQ(s.fault, Fault::kDiskWrite);
  EXPECT_EQ(s.where, 105u);
}

// A partition whose file system the engine cannot read is imaged whole.
TEST(ImageDisk, UnreadableFileSystemKeepsEverySector) {
  MemoryDisk disk(700);
  for (size_t i = 0; i < disk.bytes().size(); ++i) disk.bytes()[i] = static_cast<uint8_t>(i * 7);
  auto ws = std::make_unique<Workspace>();
  ImageSource source;
  source.partition = {0x80, 0x07, true, 0, 700};
  ASSERT_TRUE(ReadVolumeLayout(disk, source.partition, ws->record, &source.layout).ok());
  ASSERT_EQ(source.layout.fs, FileSystem::kUnknown);
  MemoryImage image;
  ImageSummary written;
  ASSERT_TRUE(Backup(disk, source, image, *ws, &written).ok());
  EXPECT_EQ(written.data_sectors, 700u);
  MemoryDisk target(700);
  image.at = 0;
  ASSERT_TRUE(RestoreImage(image, target, 0, 700, *ws, nullptr, nullptr).ok());
  EXPECT_EQ(target.bytes(), disk.bytes());
}

TEST(ImageTool, VerifyAndRestoreFromTheCommandLine) {
  ScratchDir dir;
  WriteFile(dir / "good.gho", SmallImage());
  std::vector<uint8_t> bad = SmallImage();
  bad[bad.size() / 2] ^= 1;
  WriteFile(dir / "bad.gho", bad);
  const std::string tool = ORVANE_IMAGE_TOOL;
  std::string out;
  EXPECT_EQ(Shell(tool + " verify '" + dir / "good.gho" + "'", &out), 0) << out;
  EXPECT_EQ(Shell(tool + " verify '" + dir / "bad.gho" + "'", &out), 1) << out;
  EXPECT_NE(out.find("checksum"), std::string::npos) << out;
  EXPECT_EQ(Shell(tool + " info '" + dir / "good.gho" + "'", &out), 0) << out;
  EXPECT_NE(out.find("FAT12"), std::string::npos) << out;
  EXPECT_EQ(Shell(tool + " restore '" + dir / "bad.gho" + "' '" + dir / "r.img" + "'", &out), 1);
  EXPECT_NE(Shell("test -e '" + dir / "r.img" + "'"), 0) << "nothing made from a damaged image";
  EXPECT_EQ(Shell(tool + " restore '" + dir / "good.gho" + "' '" + dir / "r.img" + "'", &out), 0)
      << out;
  EXPECT_EQ(Shell("fsck.fat -n '" + dir / "r.img" + "'", &out), 0) << out;
  EXPECT_EQ(Shell(tool + " frobnicate x", &out), 2);
}

// A workspace that compresses, as orvane-image's.
struct PackingWorkspace {
  PackingWorkspace() {
    ws->packed = packed.get();
    ws->table = table.get();
  }
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  std::unique_ptr<uint8_t[]> packed = std::make_unique<uint8_t[]>(kChunkSectors * kSectorSize);
  std::unique_ptr<Lz4Table> table = std::make_unique<Lz4Table>();
};

// Compressed chunks: a volume of text and code-like data makes an image of
// 2.0 much smaller than what it holds, the plan was an upper bound, every
// file comes back, and damage inside a compressed chunk is refused before
// a sector is written.
TEST(CompressedImage, SmallerWholeAndDamageRefusedBeforeAnyWrite) {
  ScratchDir dir;
  const std::string volume = dir / "volume.img";
  MakeVolume(volume, 16, 2048, 16384, Fill::kFiles, dir / "files", 3);
  if (HasFatalFailure()) return;
  // Text that compresses, as system files and documents do.
  std::string text;
  for (int i = 0; text.size() < 3'000'000; ++i) {
    text += "Line " + std::to_string(i % 977) + ": the quick brown fox jumps over the lazy dog\n";
  }
  WriteFile(dir / "files/TEXT.TXT", std::vector<uint8_t>(text.begin(), text.end()));
  std::string out;
  ASSERT_EQ(Shell("mcopy -i '" + volume + "' '" + dir / "files/TEXT.TXT" + "' ::", &out), 0) << out;

  PackingWorkspace packing;
  FileDisk disk;
  ASSERT_TRUE(disk.Open(volume, false));
  const ImageSource source = SourceOf(disk, 0, disk.SectorCount(), *packing.ws);
  ImageSummary plan, written;
  ASSERT_TRUE(PlanImage(disk, source, *packing.ws, &plan).ok());
  MemoryImage image;
  ASSERT_TRUE(
      WriteImage(disk, source, plan, 0x5988, 0x7000, image, *packing.ws, nullptr, &written).ok());
  EXPECT_EQ(written.bytes, image.bytes.size());
  EXPECT_EQ(written.data_sectors, plan.data_sectors);
  EXPECT_LT(written.bytes, plan.bytes / 2) << "the plan is an upper bound; text packs well";

  ImageHeader header;
  ImageSummary verified;
  ASSERT_TRUE(VerifyImage(image, *packing.ws, nullptr, &header, &verified).ok());
  EXPECT_EQ(header.major, 2);
  EXPECT_EQ(verified.bytes, written.bytes);

  // A byte of packed data flipped, in the middle of the image: refused,
  // and nothing written to the target.
  MemoryDisk target(disk.SectorCount());
  std::vector<uint8_t> bad = image.bytes;
  bad[bad.size() / 2] ^= 0x10;
  MemoryImage damaged(bad);
  EXPECT_FALSE(VerifyImage(damaged, *packing.ws, nullptr, nullptr, nullptr).ok());
  damaged.at = 0;
  // The engine writes a chunk only once it is checked: a restore that
  // stops at the damage has written only the chunks before it.
  const Status stopped =
      RestoreImage(damaged, target, 0, target.SectorCount(), *packing.ws, nullptr, nullptr);
  EXPECT_EQ(stopped.fault, Fault::kChunkDamaged);

  const std::string restored = dir / "restored.img";
  ASSERT_EQ(Shell("truncate -s " + std::to_string(uint64_t{disk.SectorCount()} * 512) + " '" +
                  restored + "'"),
            0);
  {
    FileDisk into;
    ASSERT_TRUE(into.Open(restored, true));
    image.at = 0;
    ASSERT_TRUE(
        RestoreImage(image, into, 0, into.SectorCount(), *packing.ws, nullptr, nullptr).ok());
  }
  EXPECT_EQ(Shell("fsck.fat -n '" + restored + "'", &out), 0) << out;
  ASSERT_EQ(Shell("mkdir '" + dir / "out" + "' && mcopy -s -n -i '" + restored + "' '::*' '" +
                      dir / "out" + "/'",
                  &out),
            0)
      << out;
  EXPECT_EQ(Shell("diff -r '" + dir / "files" + "' '" + dir / "out" + "'", &out), 0) << out;
}

// Every flipped byte of a small compressed image, records and packed data
// alike, is refused.
TEST(CompressedImage, EveryFlippedByteIsRefused) {
  ScratchDir dir;
  MakeVolume(dir / "v.img", 12, 1024, 1440, Fill::kFiles, dir / "files", 9);
  if (HasFatalFailure()) return;
  FileDisk disk;
  ASSERT_TRUE(disk.Open(dir / "v.img", false));
  PackingWorkspace packing;
  MemoryImage image;
  ImageSummary plan;
  const ImageSource source = SourceOf(disk, 0, disk.SectorCount(), *packing.ws);
  ASSERT_TRUE(PlanImage(disk, source, *packing.ws, &plan).ok());
  ASSERT_TRUE(WriteImage(disk, source, plan, 0, 0, image, *packing.ws, nullptr, nullptr).ok());
  ASSERT_TRUE(Verify(image.bytes).ok());
  for (size_t i = 0; i < image.bytes.size();
       i += (i < 1024 || i + 1024 > image.bytes.size()) ? 1 : 7) {
    std::vector<uint8_t> bad = image.bytes;
    bad[i] ^= 0x01;
    ASSERT_FALSE(Verify(bad).ok()) << "byte " << i;
  }
}

// An image made by the engine of format 1.0 is still read and restored:
// the files it held come back.
TEST(ImageVersions, AnImageOfFormatOnePointZeroIsRestored) {
  ScratchDir dir;
  const std::string fixture = std::string(ORVANE_ENGINE_FIXTURES) + "/v1.0.gho";
  ImageFileReader reader(fixture);
  ASSERT_TRUE(reader.Open());
  auto ws = std::make_unique<Workspace>();
  ImageHeader header;
  ASSERT_TRUE(VerifyImage(reader, *ws, nullptr, &header, nullptr).ok());
  EXPECT_EQ(header.major, 1);
  EXPECT_EQ(header.minor, 0);
  EXPECT_EQ(header.left_out_sectors, 0u);
  MemoryDisk target(header.sector_count);
  ImageFileReader again(fixture);
  ASSERT_TRUE(again.Open());
  ASSERT_TRUE(RestoreImage(again, target, 0, target.SectorCount(), *ws, nullptr, nullptr).ok());
  WriteFile(dir / "r.img", target.bytes());
  std::string out;
  EXPECT_EQ(Shell("fsck.fat -n '" + dir / "r.img" + "'", &out), 0) << out;
  ASSERT_EQ(Shell("cd '" + dir.path() +
                      "' && mcopy -s -n -i r.img '::*' . && sha256sum A.TXT B.BIN SUB/C.DAT",
                  &out),
            0)
      << out;
  EXPECT_EQ(out,
            "77dcd4b0f9e2f77ad0343260c09c82fe3e602ed62dcb07a451e072d26cecef95  A.TXT\n"
            "b799c1fece7e365175ab111464d14a3d964369c6fcca4feb618ecf20f45209d1  B.BIN\n"
            "e96760a87768717bcebcfd25ddc7d46b4dbc95a4b0014def080c08539f7d90d0  SUB/C.DAT\n");
}

// The paging and hibernation files in the root directory: their clusters
// are not imaged (but the first 64 KiB of HIBERFIL.SYS), the image says
// how much was left out, and after a restore over a disk that held other
// bytes the files are there with their sizes and chains, fsck is clean,
// every other file is back and the left-out clusters hold what the disk
// held.
struct LeftOutCase {
  const char* name;
  int fat_bits;
  int cluster_bytes;
  uint32_t kib;
};
class LeftOutFiles : public ::testing::TestWithParam<LeftOutCase> {};

TEST_P(LeftOutFiles, AreNotImagedAndComeBackAsFilesOnly) {
  const LeftOutCase& c = GetParam();
  ScratchDir dir;
  const std::string volume = dir / "volume.img";
  MakeVolume(volume, c.fat_bits, c.cluster_bytes, c.kib, Fill::kFiles, dir / "files", 5);
  if (HasFatalFailure()) return;
  const uint32_t paging = 3 << 20, hibernation = 1 << 20;
  std::vector<uint8_t> pages(paging), hiber(hibernation);
  for (size_t i = 0; i < pages.size(); ++i) pages[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  for (size_t i = 0; i < hiber.size(); ++i) hiber[i] = static_cast<uint8_t>(i * 17 + (i >> 11));
  WriteFile(dir / "PAGEFILE.SYS", pages);
  WriteFile(dir / "HIBERFIL.SYS", hiber);
  std::string out;
  ASSERT_EQ(
      Shell("mcopy -i '" + volume + "' '" + dir / "PAGEFILE.SYS" + "' '" + dir / "HIBERFIL.SYS" +
                "' :: && mattrib -i '" + volume + "' +h +s ::/PAGEFILE.SYS ::/HIBERFIL.SYS",
            &out),
      0)
      << out;

  auto ws = std::make_unique<Workspace>();
  FileDisk disk;
  ASSERT_TRUE(disk.Open(volume, false));
  const ImageSource source = SourceOf(disk, 0, disk.SectorCount(), *ws);
  MemoryImage image;
  ImageSummary written;
  ASSERT_TRUE(Backup(disk, source, image, *ws, &written).ok());
  const uint32_t expected_out = (paging + hibernation - 65536) / kSectorSize;
  EXPECT_EQ(written.left_out_sectors, expected_out);
  const uint64_t allocated = AllocatedBytes(volume);
  EXPECT_LE(written.bytes + uint64_t{expected_out} * kSectorSize,
            allocated + allocated / 100 + 65536);
  ImageHeader header;
  image.at = 0;
  ASSERT_TRUE(VerifyImage(image, *ws, nullptr, &header, nullptr).ok());
  EXPECT_EQ(header.left_out_sectors, expected_out);
  EXPECT_EQ(header.minor, 1);

  // The target held other bytes everywhere.
  MemoryDisk target(disk.SectorCount());
  std::fill(target.bytes().begin(), target.bytes().end(), 0xA5);
  image.at = 0;
  ASSERT_TRUE(RestoreImage(image, target, 0, target.SectorCount(), *ws, nullptr, nullptr).ok());
  WriteFile(dir / "r.img", target.bytes());
  EXPECT_EQ(Shell("fsck.fat -n '" + dir / "r.img" + "'", &out), 0) << out;
  ASSERT_EQ(Shell("mkdir '" + dir / "out" + "' && mcopy -s -n -i '" + dir / "r.img" + "' '::*' '" +
                      dir / "out" + "/'",
                  &out),
            0)
      << out;
  EXPECT_EQ(
      Shell("diff -r -x PAGEFILE.SYS -x HIBERFIL.SYS '" + dir / "files" + "' '" + dir / "out" + "'",
            &out),
      0)
      << out;
  const std::vector<uint8_t> pages_back = ReadFile(dir / "out/PAGEFILE.SYS");
  const std::vector<uint8_t> hiber_back = ReadFile(dir / "out/HIBERFIL.SYS");
  ASSERT_EQ(pages_back.size(), paging);
  ASSERT_EQ(hiber_back.size(), hibernation);
  EXPECT_TRUE(
      std::all_of(pages_back.begin(), pages_back.end(), [](uint8_t b) { return b == 0xA5; }));
  EXPECT_TRUE(std::equal(hiber.begin(), hiber.begin() + 65536, hiber_back.begin()))
      << "the hibernation file's header is imaged";
  EXPECT_TRUE(std::all_of(hiber_back.begin() + 65536, hiber_back.end(),
                          [](uint8_t b) { return b == 0xA5; }));
  // What `info` says of it.
  WriteFile(dir / "image.gho", image.bytes);
  EXPECT_EQ(Shell(std::string(ORVANE_IMAGE_TOOL) + " info '" + dir / "image.gho" + "'", &out), 0);
  EXPECT_NE(out.find("left out        " + std::to_string(expected_out) + " sectors"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("PAGEFILE.SYS and HIBERFIL.SYS"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Volumes, LeftOutFiles,
                         ::testing::Values(LeftOutCase{"Fat16", 16, 2048, 16384},
                                           LeftOutCase{"Fat32", 32, 512, 40000}),
                         [](const auto& info) { return std::string(info.param.name); });

// One disk holding both the partition and the image: counts the switches
// between reading or writing the partition and writing or reading the
// image, each of which costs a real disk a seek.
struct OneDisk {
  int area = -1;
  uint32_t switches = 0;
  void Touch(int where) {
    if (where != area) ++switches;
    area = where;
  }
};

class PartitionOnOneDisk final : public SectorDisk {
 public:
  PartitionOnOneDisk(SectorDisk& disk, OneDisk& one) : disk_(disk), one_(one) {}
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override {
    one_.Touch(0);
    return disk_.Read(lba, count, buffer);
  }
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override {
    one_.Touch(0);
    return disk_.Write(lba, count, buffer);
  }
  uint32_t SectorCount() override { return disk_.SectorCount(); }

 private:
  SectorDisk& disk_;
  OneDisk& one_;
};

class ImageOnOneDisk final : public ImageOutput, public ImageInput {
 public:
  ImageOnOneDisk(MemoryImage& image, OneDisk& one) : image_(image), one_(one) {}
  Status Write(const uint8_t* data, uint32_t size) override {
    one_.Touch(1);
    return image_.Write(data, size);
  }
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override {
    one_.Touch(1);
    return image_.Read(data, size, got);
  }

 private:
  MemoryImage& image_;
  OneDisk& one_;
};

// Batch memory that fails its Nth copy.
class FailingBatch final : public host::MemoryBatch {
 public:
  FailingBatch(uint32_t bytes, int fail_at) : MemoryBatch(bytes), left_(fail_at) {}
  bool Put(uint32_t at, const uint8_t* data, uint32_t size) override {
    return --left_ != 0 && MemoryBatch::Put(at, data, size);
  }

 private:
  int left_;
};

// Batches change when the disk reads and writes, never what: with batch
// memory of any size, stored or packed, the image is the same bytes and the
// restored partition the same sectors as without; and on one disk the
// switches between partition and image come once a batch, not once a
// chunk.
TEST(Batches, SameImageAndRestoreWithFewerSwitches) {
  ScratchDir dir;
  const std::string volume = dir / "volume.img";
  MakeVolume(volume, 16, 2048, 16384, Fill::kNearlyFull, dir / "files", 5);
  if (HasFatalFailure()) return;
  FileDisk disk;
  ASSERT_TRUE(disk.Open(volume, false));
  for (const bool packs : {false, true}) {
    SCOPED_TRACE(packs ? "packed" : "stored");
    PackingWorkspace packing;
    Workspace& ws = *packing.ws;
    if (!packs) ws.packed = nullptr;
    const ImageSource source = SourceOf(disk, 0, disk.SectorCount(), ws);
    ImageSummary plan;
    ASSERT_TRUE(PlanImage(disk, source, ws, &plan).ok());
    const uint64_t data_bytes = uint64_t{plan.data_sectors} * kSectorSize;
    ASSERT_GT(data_bytes, 8u << 20) << "enough for many batches";

    OneDisk unbatched_disk;
    PartitionOnOneDisk partition(disk, unbatched_disk);
    MemoryImage plain;
    ImageOnOneDisk plain_out(plain, unbatched_disk);
    ASSERT_TRUE(WriteImage(partition, source, plan, 1, 2, plain_out, ws, nullptr, nullptr).ok());
    EXPECT_GT(unbatched_disk.switches, data_bytes / (64 * 1024)) << "the model sees every switch";

    MemoryDisk plain_target(disk.SectorCount());
    ASSERT_TRUE(
        RestoreImage(plain, plain_target, 0, plain_target.SectorCount(), ws, nullptr, nullptr)
            .ok());

    // 100,001 bytes hold two chunks and a bit; 1 MiB many.
    for (const uint32_t bytes : {100'001u, 1u << 20}) {
      SCOPED_TRACE(bytes);
      host::MemoryBatch batch(bytes);
      ws.batch = &batch;
      const uint64_t batches = data_bytes / (bytes * 9 / 10) + 1;

      OneDisk one;
      PartitionOnOneDisk read(disk, one);
      MemoryImage image;
      ImageOnOneDisk out(image, one);
      ImageSummary written;
      ASSERT_TRUE(WriteImage(read, source, plan, 1, 2, out, ws, nullptr, &written).ok());
      EXPECT_EQ(image.bytes, plain.bytes);
      EXPECT_LE(one.switches, 2 * batches + 2);

      // Into a partition of other bytes, so that every sector the
      // restore must write is seen to be written.
      MemoryDisk target_disk(disk.SectorCount());
      std::fill(target_disk.bytes().begin(), target_disk.bytes().end(), 0xE5);
      OneDisk other;
      PartitionOnOneDisk target(target_disk, other);
      ImageOnOneDisk in(image, other);
      ASSERT_TRUE(RestoreImage(in, target, 0, target.SectorCount(), ws, nullptr, nullptr).ok());
      EXPECT_LE(other.switches, 2 * batches + 2);
      const auto& restored = target_disk.bytes();
      const auto& expected = plain_target.bytes();
      for (size_t at = 0; at < expected.size(); at += kSectorSize) {
        // Sectors the image holds are the source's; the others untouched.
        const bool held = !std::equal(restored.begin() + at, restored.begin() + at + kSectorSize,
                                      std::vector<uint8_t>(kSectorSize, 0xE5).begin());
        if (held) {
          ASSERT_TRUE(std::equal(restored.begin() + at, restored.begin() + at + kSectorSize,
                                 expected.begin() + at))
              << "sector " << at / kSectorSize;
        }
      }
      EXPECT_EQ(target_disk.writes, plain_target.writes);
      ws.batch = nullptr;
    }
  }
}

// A restore in batches writes nothing of a batch that holds damage, and a
// failing batch memory is a failure, not a silent loss of data.
TEST(Batches, DamageOrFailingMemoryWritesNothing) {
  const std::vector<uint8_t>& image = SmallImage();
  auto ws = std::make_unique<Workspace>();
  ImageHeader header;
  MemoryImage whole(image);
  ASSERT_TRUE(VerifyImage(whole, *ws, nullptr, &header, nullptr).ok());

  host::MemoryBatch batch(1u << 20);
  ws->batch = &batch;
  std::vector<uint8_t> bad = image;
  bad[bad.size() - kTrailerSize - 100] ^= 0x01;  // in the last chunk
  MemoryImage damaged(bad);
  MemoryDisk target(header.sector_count);
  EXPECT_EQ(RestoreImage(damaged, target, 0, target.SectorCount(), *ws, nullptr, nullptr).fault,
            Fault::kChunkDamaged);
  EXPECT_EQ(target.writes, 0u);

  // The completion record is read before the last batch is written.
  bad = image;
  bad[bad.size() - 8] ^= 0x01;
  MemoryImage bad_end(bad);
  EXPECT_EQ(RestoreImage(bad_end, target, 0, target.SectorCount(), *ws, nullptr, nullptr).fault,
            Fault::kTrailerDamaged);
  EXPECT_EQ(target.writes, 0u);

  FailingBatch failing(1u << 20, 5);
  ws->batch = &failing;
  whole.at = 0;
  const Status s = RestoreImage(whole, target, 0, target.SectorCount(), *ws, nullptr, nullptr);
  EXPECT_EQ(s.fault, Fault::kMemory);
  EXPECT_EQ(target.writes, 0u);
}

}  // namespace
}  // namespace orvane::dos
