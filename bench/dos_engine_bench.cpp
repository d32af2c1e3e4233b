// Speed of the imaging engine on a 256 MiB partition held in memory:
// making its image in memory (PlanImage, then WriteImage) and verifying
// that image (VerifyImage). Throughput counts the partition data imaged.
// Two partitions: a FAT32 volume with 512-byte clusters, 90% of them in
// use in four fragments, and one with no FAT volume, imaged sector by
// sector.
//
// Then compressed images, on a 320 MiB FAT32 volume of 4 KiB clusters
// filled as a Windows system partition is, with program files and text
// (Wine's PE DLLs and C headers, one file each in the root directory):
// WriteImage packing 32 KiB chunks with LZ4 (a packed buffer of its own,
// as orvane-image gives it), and RestoreImage of that image into a disk in
// memory, each without batch memory and with 4 MiB of it. Both also report
// the image's size over the data imaged.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
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
// again from the start. Reads end where the last write ended: a
// compressed image is shorter than its buffer.
class MemoryImage final : public ImageOutput, public ImageInput {
 public:
  explicit MemoryImage(uint64_t size) : bytes_(size) {}
  Status Write(const uint8_t* data, uint32_t size) override {
    if (size > bytes_.size() - at_) return Status::Fail(Fault::kFileFull);
    std::memcpy(bytes_.data() + at_, data, size);
    at_ += size;
    end_ = at_;
    return Status::Ok();
  }
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override {
    *got = static_cast<uint32_t>(std::min<size_t>(size, end_ - at_));
    std::memcpy(data, bytes_.data() + at_, *got);
    at_ += *got;
    return Status::Ok();
  }
  void Rewind() { at_ = 0; }
  size_t size() const { return end_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t at_ = 0, end_ = 0;
};

// A disk to restore into, allocated (and touched) once.
class MemoryDisk final : public SectorDisk {
 public:
  explicit MemoryDisk(size_t bytes) : bytes_(bytes) {}
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override {
    if (uint64_t{lba} + count > SectorCount()) return Status::Fail(Fault::kDiskRead, lba);
    std::memcpy(buffer, bytes_.data() + uint64_t{lba} * kSectorSize, size_t{count} * kSectorSize);
    return Status::Ok();
  }
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override {
    if (uint64_t{lba} + count > SectorCount()) return Status::Fail(Fault::kDiskWrite, lba);
    std::memcpy(bytes_.data() + uint64_t{lba} * kSectorSize, buffer, size_t{count} * kSectorSize);
    return Status::Ok();
  }
  uint32_t SectorCount() override { return static_cast<uint32_t>(bytes_.size() / kSectorSize); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  void Clear() { std::fill(bytes_.begin(), bytes_.end(), 0); }

 private:
  std::vector<uint8_t> bytes_;
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

// FAT32 with 32 reserved sectors and two FATs: the FAT's sectors and the
// clusters of a volume of `sectors`.
constexpr uint32_t kReserved = 32;
void Fat32Shape(uint32_t sectors, uint32_t per_cluster, uint32_t* fat_sectors, uint32_t* clusters) {
  *fat_sectors = 1;
  for (;;) {
    *clusters = (sectors - kReserved - 2 * *fat_sectors) / per_cluster;
    const uint32_t needed = ((*clusters + 2) * 4 + kSectorSize - 1) / kSectorSize;
    if (needed <= *fat_sectors) break;
    *fat_sectors = needed;
  }
}

// The boot sector of such a volume, its root directory at cluster 2.
void WriteFat32Boot(uint8_t* boot, uint32_t sectors, uint32_t per_cluster, uint32_t fat_sectors) {
  boot[0] = 0xEB;
  boot[1] = 0x58;
  boot[2] = 0x90;
  std::memcpy(boot + 3, "ORVANE  ", 8);
  Store16(boot + 0x0B, kSectorSize);
  boot[0x0D] = static_cast<uint8_t>(per_cluster);
  Store16(boot + 0x0E, kReserved);
  boot[0x10] = 2;
  boot[0x15] = 0xF8;
  Store32(boot + 0x20, sectors);
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
}

// One sector a cluster.
std::vector<uint8_t> MakeFat32Partition() {
  std::vector<uint8_t> bytes = PatternedSectors();
  uint32_t fat_sectors = 0, clusters = 0;
  Fat32Shape(kPartitionSectors, 1, &fat_sectors, &clusters);
  const uint32_t first_data = kReserved + 2 * fat_sectors;
  std::fill_n(bytes.begin(), size_t{first_data} * kSectorSize, 0);
  WriteFat32Boot(bytes.data(), kPartitionSectors, 1, fat_sectors);

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

// --- Compressed images --------------------------------------------------------

constexpr uint32_t kFilledSectors = 320 * 2048;
constexpr uint32_t kFilledPerCluster = 8;  // 4 KiB, as Windows formats such a volume
constexpr size_t kDllBytes = size_t{250} << 20;
constexpr size_t kTextBytes = size_t{30} << 20;

// The files under `dirs` whose names end in `suffix`, in name order.
std::vector<std::filesystem::path> FilesEndingIn(std::initializer_list<const char*> dirs,
                                                 const std::string& suffix) {
  std::vector<std::filesystem::path> files;
  for (const char* dir : dirs) {
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.size() >= suffix.size() && name.ends_with(suffix) && it->is_regular_file()) {
        files.push_back(it->path());
      }
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Lays files out one after another from cluster 2 on, behind a root
// directory of 8.3 entries, each file in clusters of its own.
class VolumeFiller {
 public:
  VolumeFiller() : bytes_(size_t{kFilledSectors} * kSectorSize) {
    Fat32Shape(kFilledSectors, kFilledPerCluster, &fat_sectors_, &clusters_);
    WriteFat32Boot(bytes_.data(), kFilledSectors, kFilledPerCluster, fat_sectors_);
    root_.resize(size_t{kRootClusters} * ClusterBytes());
    next_cluster_ = 2 + kRootClusters;
  }

  // Every so many of `files` (so that no few large ones make up the
  // whole), then those after them, until `budget` bytes are in.
  void AddSome(const std::vector<std::filesystem::path>& files, size_t budget, const char* ext) {
    uintmax_t total = 0;
    for (const auto& f : files) total += std::filesystem::file_size(f);
    const size_t stride = std::max<size_t>(1, static_cast<size_t>(total / budget));
    size_t added = 0;
    for (size_t first = 0; first < stride && added < budget; ++first) {
      for (size_t i = first; i < files.size() && added < budget; i += stride) {
        std::vector<uint8_t> data(std::filesystem::file_size(files[i]));
        std::ifstream file(files[i], std::ios::binary);
        file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
        data.resize(static_cast<size_t>(file.gcount()));
        if (data.empty() || !Add(data, ext)) return;
        added += data.size();
      }
    }
  }

  // The volume, its FATs and root directory written.
  std::vector<uint8_t> Finish() {
    Chain(2, kRootClusters);
    std::memcpy(Cluster(2), root_.data(), root_.size());
    const size_t fat_bytes = size_t{fat_sectors_} * kSectorSize;
    uint8_t* fat = bytes_.data() + size_t{kReserved} * kSectorSize;
    Store32(fat, 0x0FFFFFF8);
    Store32(fat + 4, 0x0FFFFFFF);
    for (uint32_t c = 2; c < fat_.size(); ++c) Store32(fat + size_t{c} * 4, fat_[c]);
    std::memcpy(fat + fat_bytes, fat, fat_bytes);
    return std::move(bytes_);
  }

  bool empty() const { return files_ == 0; }

 private:
  static constexpr uint32_t kRootClusters = 32;  // 4,096 entries

  uint32_t ClusterBytes() const { return kFilledPerCluster * kSectorSize; }
  uint8_t* Cluster(uint32_t c) {
    const uint32_t first_data = kReserved + 2 * fat_sectors_;
    return bytes_.data() + (size_t{first_data} + size_t{c - 2} * kFilledPerCluster) * kSectorSize;
  }
  void Chain(uint32_t first, uint32_t count) {
    if (fat_.size() < first + count) fat_.resize(first + count, 0);
    for (uint32_t c = first; c < first + count; ++c) {
      fat_[c] = c + 1 < first + count ? c + 1 : 0x0FFFFFFF;
    }
  }

  bool Add(const std::vector<uint8_t>& data, const char* ext) {
    const uint32_t count =
        static_cast<uint32_t>((data.size() + ClusterBytes() - 1) / ClusterBytes());
    if ((files_ + 1) * 32 >= root_.size() || next_cluster_ + count > clusters_ + 2) return false;
    std::memcpy(Cluster(next_cluster_), data.data(), data.size());
    Chain(next_cluster_, count);
    uint8_t* entry = root_.data() + size_t{files_} * 32;
    char name[12];
    std::snprintf(name, sizeof name, "F%07u%.3s", files_, ext);
    std::memcpy(entry, name, 11);
    entry[11] = 0x20;  // archive
    Store16(entry + 20, static_cast<uint16_t>(next_cluster_ >> 16));
    Store16(entry + 26, static_cast<uint16_t>(next_cluster_));
    Store32(entry + 28, static_cast<uint32_t>(data.size()));
    next_cluster_ += count;
    ++files_;
    return true;
  }

  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> root_;
  std::vector<uint32_t> fat_;  // entries from cluster 2 on; 0 is free
  uint32_t fat_sectors_ = 0, clusters_ = 0, next_cluster_ = 0, files_ = 0;
};

// Empty when there are no Wine DLLs to fill it with.
std::vector<uint8_t> MakeFilledPartition() {
  VolumeFiller volume;
  volume.AddSome(FilesEndingIn({"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                                "/usr/lib/i386-linux-gnu/wine/i386-windows"},
                               ".dll"),
                 kDllBytes, "DLL");
  if (volume.empty()) return {};
  volume.AddSome(FilesEndingIn({"/usr/share/common-licenses", "/usr/include"}, ""), kTextBytes,
                 "TXT");
  return volume.Finish();
}

const std::vector<uint8_t>& FilledPartition() {
  static const std::vector<uint8_t> bytes = MakeFilledPartition();
  return bytes;
}

// Batch memory in the process's own memory, allocated (and touched) once.
class VectorBatch final : public BatchMemory {
 public:
  explicit VectorBatch(uint32_t bytes) : bytes_(bytes) {}
  uint32_t Capacity() override { return static_cast<uint32_t>(bytes_.size()); }
  bool Put(uint32_t at, const uint8_t* data, uint32_t size) override {
    if (at > bytes_.size() || size > bytes_.size() - at) return false;
    std::memcpy(bytes_.data() + at, data, size);
    return true;
  }
  bool Get(uint32_t at, uint8_t* data, uint32_t size) override {
    if (at > bytes_.size() || size > bytes_.size() - at) return false;
    std::memcpy(data, bytes_.data() + at, size);
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
};

// A packed buffer and table of their own, as orvane-image gives them, and
// batch memory of `batch_bytes` (none with 0).
struct Packing {
  Packing(Workspace& ws, uint32_t batch_bytes) : batch(batch_bytes) {
    ws.packed = packed.get();
    ws.table = table.get();
    ws.batch = batch_bytes ? &batch : nullptr;
  }
  std::unique_ptr<uint8_t[]> packed = std::make_unique<uint8_t[]>(kChunkSectors * kSectorSize);
  std::unique_ptr<Lz4Table> table = std::make_unique<Lz4Table>();
  VectorBatch batch;
};

constexpr uint32_t kBatchBytes = 4u << 20;  // what orvane-image, BF and HF use at most

// What the compressed cases share, made once: the partition's plan, its
// image (made without batch memory), room for another and a disk to
// restore into. Their workspace is each case's to set up.
struct Compressed {
  Compressed()
      : s(FilledPartition()),
        image(s.plan.bytes),
        scratch(s.plan.bytes),
        target(FilledPartition().size()) {
    Packing packing(*s.ws, 0);
    ok = s.ok && s.source.layout.fs == FileSystem::kFat32 &&
         WriteImage(s.disk, s.source, s.plan, 0, 0, image, *s.ws, nullptr, nullptr).ok();
  }
  uint64_t data() const { return uint64_t{s.plan.data_sectors} * kSectorSize; }
  double ratio() const { return static_cast<double>(image.size()) / static_cast<double>(data()); }

  Source s;
  MemoryImage image, scratch;
  MemoryDisk target;
  bool ok = false;
};

Compressed* Shared(benchmark::State& state) {
  if (FilledPartition().empty()) {
    state.SkipWithError("no Wine DLLs in /usr/lib");
    return nullptr;
  }
  static Compressed compressed;
  if (!compressed.ok) state.SkipWithError("the partition is not read, or WriteImage failed");
  return compressed.ok ? &compressed : nullptr;
}

void CompressedWrite(benchmark::State& state, uint32_t batch_bytes) {
  Compressed* c = Shared(state);
  if (!c) return;
  Source& s = c->s;
  Packing packing(*s.ws, batch_bytes);
  for (auto _ : state) {
    c->scratch.Rewind();
    ImageSummary plan, written;
    if (!PlanImage(s.disk, s.source, *s.ws, &plan).ok() ||
        !WriteImage(s.disk, s.source, plan, 0, 0, c->scratch, *s.ws, nullptr, &written).ok()) {
      return state.SkipWithError("WriteImage failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c->data()));
  state.counters["ratio"] = c->ratio();
  state.counters["MiB"] = static_cast<double>(c->data() >> 20);
}
BENCHMARK_CAPTURE(CompressedWrite, no_batch, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(CompressedWrite, batch_4MiB, kBatchBytes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Throughput counts the partition data restored, not the image's bytes.
void CompressedRestore(benchmark::State& state, uint32_t batch_bytes) {
  Compressed* c = Shared(state);
  if (!c) return;
  Packing packing(*c->s.ws, batch_bytes);
  MemoryDisk& target = c->target;
  target.Clear();
  for (auto _ : state) {
    c->image.Rewind();
    ImageSummary summary;
    if (!RestoreImage(c->image, target, 0, target.SectorCount(), *c->s.ws, nullptr, &summary)
             .ok()) {
      return state.SkipWithError("RestoreImage failed");
    }
  }
  // Free clusters are zeros on both sides: the whole volume comes back.
  if (target.bytes() != FilledPartition()) {
    return state.SkipWithError("the restored partition differs");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c->data()));
  state.counters["ratio"] = c->ratio();
}
BENCHMARK_CAPTURE(CompressedRestore, no_batch, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(CompressedRestore, batch_4MiB, kBatchBytes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
