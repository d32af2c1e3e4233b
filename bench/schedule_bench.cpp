// The engine's schedule on one disk: drive C and the image on the same
// drive, as users keep them, where every switch between reading the
// partition and writing the image (and, restoring, between reading the
// image and writing the partition) costs a seek. The disk is a model: 9 ms
// for each switch between the two areas, 50 MB/s for every byte moved. Its
// limit is the time the bytes alone take; the schedule is worth what it
// keeps of that limit. The image file is written and read 32 KiB at a time,
// as BF and HF do; chunks are BF's (16 KiB, compressed where that makes
// them smaller). Batches: none, what conventional memory gives, and what
// BF and HF take from XMS.
//
// Prints the figures; exits 1 when a backup or restore with the XMS batch
// keeps less than 0.7 of the limit.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

#include "dos/engine/image.h"
#include "dos/host/image_files.h"

namespace {

using namespace orvane::dos;

constexpr double kSwitchSeconds = 0.009;
constexpr double kBytesPerSecond = 50e6;
constexpr uint32_t kFileBlock = 32 * 1024;
constexpr size_t kPartitionBytes = size_t{64} << 20;
constexpr double kLeast = 0.7;

// Where the disk's time goes.
struct DiskModel {
  int area = -1;
  uint32_t switches = 0;
  uint64_t bytes = 0;
  void Move(int where, uint64_t n) {
    if (area != -1 && where != area) ++switches;
    area = where;
    bytes += n;
  }
  double Seconds() const { return switches * kSwitchSeconds + bytes / kBytesPerSecond; }
  double Limit() const { return bytes / kBytesPerSecond; }
};

// The partition: area 0.
class Partition final : public SectorDisk {
 public:
  Partition(std::vector<uint8_t>& bytes, DiskModel& model) : bytes_(bytes), model_(model) {}
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override {
    model_.Move(0, count * kSectorSize);
    std::memcpy(buffer, &bytes_[size_t{lba} * kSectorSize], size_t{count} * kSectorSize);
    return Status::Ok();
  }
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override {
    model_.Move(0, count * kSectorSize);
    std::memcpy(&bytes_[size_t{lba} * kSectorSize], buffer, size_t{count} * kSectorSize);
    return Status::Ok();
  }
  uint32_t SectorCount() override { return static_cast<uint32_t>(bytes_.size() / kSectorSize); }

 private:
  std::vector<uint8_t>& bytes_;
  DiskModel& model_;
};

// The image file: area 1, gathered and read ahead in blocks of 32 KiB.
class ImageFile final : public ImageOutput, public ImageInput {
 public:
  explicit ImageFile(DiskModel& model) : model_(&model) {}
  void Watch(DiskModel& model) {
    model_ = &model;
    at_ = 0;
    read_ahead_ = 0;
  }
  Status Write(const uint8_t* data, uint32_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    while (bytes.size() - flushed_ >= kFileBlock) {
      model_->Move(1, kFileBlock);
      flushed_ += kFileBlock;
    }
    return Status::Ok();
  }
  void Flush() {
    model_->Move(1, bytes.size() - flushed_);
    flushed_ = bytes.size();
  }
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override {
    *got = static_cast<uint32_t>(std::min<size_t>(size, bytes.size() - at_));
    while (at_ + *got > read_ahead_ && read_ahead_ < bytes.size()) {
      const size_t n = std::min<size_t>(kFileBlock, bytes.size() - read_ahead_);
      model_->Move(1, n);
      read_ahead_ += n;
    }
    std::memcpy(data, &bytes[at_], *got);
    at_ += *got;
    return Status::Ok();
  }
  std::vector<uint8_t> bytes;

 private:
  DiskModel* model_;
  size_t flushed_ = 0, at_ = 0, read_ahead_ = 0;
};

// Wine's PE DLLs, as a drive C holds program files.
std::vector<uint8_t> ProgramFiles() {
  std::vector<std::filesystem::path> dlls;
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                          "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
      if (entry.path().extension() == ".dll" && entry.is_regular_file()) {
        dlls.push_back(entry.path());
      }
    }
  }
  std::sort(dlls.begin(), dlls.end());
  std::vector<uint8_t> bytes;
  for (const auto& dll : dlls) {
    if (bytes.size() >= kPartitionBytes) break;
    std::ifstream file(dll, std::ios::binary);
    bytes.insert(bytes.end(), std::istreambuf_iterator<char>(file), {});
  }
  if (bytes.size() < kPartitionBytes) return {};
  bytes.resize(kPartitionBytes);
  return bytes;
}

std::vector<uint8_t> RandomBytes() {
  std::vector<uint8_t> bytes(kPartitionBytes);
  std::mt19937_64 random(24);
  for (size_t i = 0; i < bytes.size(); i += 8) {
    const uint64_t word = random();
    std::memcpy(&bytes[i], &word, 8);
  }
  return bytes;
}

struct Figures {
  double effective = 0, limit = 0;
  uint32_t switches = 0;
  double ratio() const { return effective / limit; }
};

Figures Of(const DiskModel& model, uint64_t data_bytes) {
  return {data_bytes / model.Seconds() / 1e6, data_bytes / model.Limit() / 1e6, model.switches};
}

// Backs up `bytes` (no boot sector: every sector imaged) and restores the
// image over a partition of other bytes, with `batch_bytes` of batch
// memory (0: none). False when something fails or differs.
bool RunOnce(std::vector<uint8_t> bytes, uint32_t batch_bytes, Figures* backup, Figures* restore,
             double* image_share) {
  bytes[510] = bytes[511] = 0;  // no boot sector signature
  auto ws = std::make_unique<Workspace>();
  auto table = std::make_unique<Lz4Table>();
  ws->packed = ws->data + kChunkSectors / 2 * kSectorSize;
  ws->table = table.get();
  std::unique_ptr<host::MemoryBatch> batch;
  if (batch_bytes) {
    batch = std::make_unique<host::MemoryBatch>(batch_bytes);
    ws->batch = batch.get();
  }
  DiskModel backing;
  Partition disk(bytes, backing);
  ImageSource source;
  source.partition.count = disk.SectorCount();
  if (!ReadVolumeLayout(disk, source.partition, ws->record, &source.layout).ok()) return false;
  ImageSummary plan, written;
  if (!PlanImage(disk, source, *ws, &plan).ok()) return false;
  backing = DiskModel();
  ImageFile image(backing);
  if (!WriteImage(disk, source, plan, 0, 0, image, *ws, nullptr, &written).ok()) return false;
  image.Flush();
  const uint64_t data_bytes = uint64_t{written.data_sectors} * kSectorSize;
  *backup = Of(backing, data_bytes);
  *image_share = double(written.bytes) / data_bytes;

  std::vector<uint8_t> target(bytes.size(), 0xE5);
  DiskModel restoring;
  Partition into(target, restoring);
  image.Watch(restoring);
  if (!RestoreImage(image, into, 0, into.SectorCount(), *ws, nullptr, nullptr).ok()) return false;
  *restore = Of(restoring, data_bytes);
  return target == bytes;
}

}  // namespace

int main() {
  std::printf(
      "One disk: %.0f ms a switch between partition and image, %.0f MB/s; "
      "64 MiB imaged, in chunks of 16 KiB\n\n",
      kSwitchSeconds * 1e3, kBytesPerSecond / 1e6);
  std::printf("%-14s %-22s %9s %9s %9s %7s %6s\n", "data", "batch", "image", "MB/s", "limit",
              "share", "seeks");
  bool all_good = true;
  struct Data {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  Data data[] = {{"program files", ProgramFiles()}, {"random", RandomBytes()}};
  struct Batch {
    const char* name;
    uint32_t bytes;
    bool bound;
  };
  const Batch batches[] = {{"none", 0, false},
                           {"448 KiB, conventional", 448 * 1024, false},
                           {"4 MiB, XMS", host::MemoryBatch::kDefaultBytes, true}};
  for (const Data& d : data) {
    if (d.bytes.empty()) {
      std::printf("%-14s (no Wine DLLs in /usr/lib: not measured)\n", d.name);
      continue;
    }
    for (const Batch& b : batches) {
      Figures backup, restore;
      double share = 0;
      if (!RunOnce(d.bytes, b.bytes, &backup, &restore, &share)) {
        std::printf("%-14s %-22s FAILED: the restore differs or an operation failed\n", d.name,
                    b.name);
        all_good = false;
        continue;
      }
      for (const auto& [what, f] : {std::pair{"backup", backup}, std::pair{"restore", restore}}) {
        const bool short_of = b.bound && f.ratio() < kLeast;
        all_good = all_good && !short_of;
        std::printf("%-14s %-22s %9.3f %9.1f %9.1f %7.2f %6u  %s%s\n", d.name, b.name, share,
                    f.effective, f.limit, f.ratio(), f.switches, what,
                    short_of ? "  (below 0.7)" : "");
      }
    }
  }
  std::printf("\nMB/s: data imaged a second of the model's time; limit: without seeks.\n");
  return all_good ? 0 : 1;
}
