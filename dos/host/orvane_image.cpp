// orvane-image: makes, describes, checks and restores Orvane images on
// Linux, with the engine the DOS programs use.
//
//   orvane-image info IMAGE
//   orvane-image verify IMAGE
//   orvane-image restore IMAGE PARTITION_FILE
//   orvane-image backup PARTITION_FILE IMAGE [--part-size BYTES]
//
// Exit status: 0 done, 1 the image or a file failed, 2 wrong usage.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "dos/engine/image.h"
#include "dos/host/image_files.h"

namespace orvane::dos::host {
namespace {

// Parts of an image: at most what MS-DOS 7.1 takes in one file, at least
// enough that a few hundred megabytes fit in the 100 parts there can be.
constexpr uint64_t kLargestPart = 0xFFFFFFFFull - 0xFFFF;
constexpr uint64_t kSmallestPart = uint64_t{1} << 20;

// A part size in bytes: decimal digits only, from kSmallestPart to
// kLargestPart.
bool ParsePartSize(const char* text, uint64_t* bytes) {
  uint64_t value = 0;
  if (*text == 0) return false;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*text - '0');
    if (value > kLargestPart) return false;
  }
  if (value < kSmallestPart) return false;
  *bytes = value;
  return true;
}

int Usage() {
  std::fputs(
      "usage: orvane-image info IMAGE\n"
      "       orvane-image verify IMAGE\n"
      "       orvane-image restore IMAGE PARTITION_FILE\n"
      "       orvane-image backup PARTITION_FILE IMAGE [--part-size BYTES]\n",
      stderr);
  return 2;
}

// Says what is wrong with `what`; the exit status for it.
int Refuse(const std::string& what, const std::string& message) {
  std::fprintf(stderr, "orvane-image: %s: %s\n", what.c_str(), message.c_str());
  return 1;
}

// A fault of the engine, in the words BF and HF use, and the system's
// reason where there is one.
int Fail(const std::string& what, const Status& s, int system_error = 0) {
  char text[kFaultTextCapacity];
  FormatFault(s, text, sizeof text);
  std::string message = text;
  if (system_error) message += std::string(" (") + std::strerror(system_error) + ")";
  return Refuse(what, message);
}

// A fault in reading the image at `path`: a missing part is named.
int FailImage(const std::string& path, const Status& s) {
  return Fail(s.fault == Fault::kPartMissing ? PartPath(path, s.detail) : path, s);
}

// The part of the image `image` that is the file `other` (the same device
// and inode, whatever links lead there), or -1 when none is.
int PartThatIs(const std::string& image, const std::string& other) {
  struct stat o;
  if (stat(other.c_str(), &o) != 0) return -1;
  for (unsigned i = 0; i < kMaxParts; ++i) {
    struct stat p;
    const std::string part = PartPath(image, i);
    if (!part.empty() && stat(part.c_str(), &p) == 0 && p.st_dev == o.st_dev &&
        p.st_ino == o.st_ino) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int RefuseSameFile(const std::string& partition, const std::string& image, int part) {
  return Refuse(partition, "The partition file is " +
                               (part == 0 ? "the image itself"
                                          : "part " + std::to_string(part) + " of the image (" +
                                                PartPath(image, part) + ")") +
                               ": nothing was done.");
}

// The local date and time now, packed as DOS packs them (BF takes them
// from DOS, which keeps local time); both 0 outside the years DOS can
// hold, 1980 to 2107.
void DosNow(uint16_t* date, uint16_t* time) {
  *date = *time = 0;
  const std::time_t now = std::time(nullptr);
  std::tm t;
  if (!localtime_r(&now, &t) || t.tm_year < 80 || t.tm_year > 207) return;
  *date = static_cast<uint16_t>((t.tm_year - 80) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
  *time = static_cast<uint16_t>(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
}

const char* FsName(FileSystem fs) {
  switch (fs) {
    case FileSystem::kFat12:
      return "FAT12";
    case FileSystem::kFat16:
      return "FAT16";
    case FileSystem::kFat32:
      return "FAT32";
    default:
      return "not readable (every sector imaged)";
  }
}

int Info(const std::string& path) {
  ImageFileReader reader(path);
  if (!reader.Open()) return Fail(path, Status::Fail(Fault::kFileOpen), errno);
  auto ws = std::make_unique<Workspace>();
  ImageHeader h;
  const Status s = ReadImageHeader(reader, *ws, &h);
  if (!s.ok()) return FailImage(path, s);
  std::printf("format           %u.%u\n", h.major, h.minor);
  if (h.dos_date == 0) {
    std::printf("made             (no date recorded)\n");
  } else {
    std::printf("made             %04u-%02u-%02u %02u:%02u:%02u\n", 1980 + (h.dos_date >> 9),
                (h.dos_date >> 5) & 15, h.dos_date & 31, h.dos_time >> 11, (h.dos_time >> 5) & 63,
                (h.dos_time & 31) * 2);
  }
  std::printf("source           BIOS disk %02Xh, partition type %02Xh, first sector %" PRIu32
              ", %" PRIu32 " sectors (%.1f MiB)\n",
              h.bios_disk, h.partition_type, h.first_sector, h.sector_count,
              h.sector_count / 2048.0);
  std::printf("file system      %s\n", FsName(h.fs));
  if (h.fs != FileSystem::kUnknown) {
    std::printf("clusters         %" PRIu32 " of %" PRIu32 " bytes, data area at sector %" PRIu32
                "\n",
                h.cluster_count, h.cluster_bytes, h.first_data_sector);
    std::printf("volume           serial %04X-%04X, label \"%.11s\"\n", h.serial >> 16,
                h.serial & 0xFFFF, h.label);
  }
  std::printf("data             %" PRIu32 " sectors (%.1f MiB)%s\n", h.data_sectors,
              h.data_sectors / 2048.0,
              h.major >= 2 ? ", in chunks compressed with LZ4 where that is smaller" : "");
  if (h.left_out_sectors) {
    std::printf("left out        %" PRIu32
                " sectors (%.1f MiB): PAGEFILE.SYS and HIBERFIL.SYS "
                "(all but its first 64 KiB), whose contents Windows does not read back after a "
                "cold start; a restore keeps the files, their sizes and clusters, not what was "
                "in them\n",
                h.left_out_sectors, h.left_out_sectors / 2048.0);
  }
  return 0;
}

int Verify(const std::string& path) {
  ImageFileReader reader(path);
  if (!reader.Open()) return Fail(path, Status::Fail(Fault::kFileOpen), errno);
  auto ws = std::make_unique<Workspace>();
  ImageHeader h;
  ImageSummary summary;
  const Status s = VerifyImage(reader, *ws, nullptr, &h, &summary);
  if (!s.ok()) return FailImage(path, s);
  std::printf("%s: whole and undamaged: %" PRIu32 " chunks, %" PRIu32 " sectors, %" PRIu64
              " bytes in %u part%s\n",
              path.c_str(), summary.chunks, summary.data_sectors, summary.bytes,
              reader.parts_opened(), reader.parts_opened() == 1 ? "" : "s");
  return 0;
}

int Restore(const std::string& path, const std::string& target) {
  if (const int part = PartThatIs(path, target); part >= 0) {
    return RefuseSameFile(target, path, part);
  }
  auto ws = std::make_unique<Workspace>();
  ImageHeader h;
  {
    ImageFileReader reader(path);
    if (!reader.Open()) return Fail(path, Status::Fail(Fault::kFileOpen), errno);
    const Status s = VerifyImage(reader, *ws, nullptr, &h, nullptr);
    if (!s.ok()) return FailImage(path, s);
  }
  // A partition file that does not exist yet is made the source's size.
  struct stat st;
  if (stat(target.c_str(), &st) != 0) {
    UniqueFile made(std::fopen(target.c_str(), "wb"));
    if (!made || ftruncate(fileno(made.get()),
                           static_cast<off_t>(uint64_t{h.sector_count} * kSectorSize)) != 0) {
      const int error = errno;
      if (made) std::remove(target.c_str());
      return Refuse(
          target, std::string("The partition file cannot be made. (") + std::strerror(error) + ")");
    }
  }
  FileDisk disk;
  std::string why;
  if (!disk.Open(target, true, &why)) return Refuse(target, why);
  // The engine would refuse it too, in words meant for drive C.
  if (disk.SectorCount() < h.sector_count) {
    return Refuse(target, "The partition file is smaller than the image's partition: " +
                              std::to_string(disk.SectorCount()) + " sectors of 512 bytes, not " +
                              std::to_string(h.sector_count) + ". Nothing was written.");
  }
  ImageFileReader reader(path);
  if (!reader.Open()) return Fail(path, Status::Fail(Fault::kFileOpen), errno);
  // The image is read, then the partition written, 4 MiB at a time.
  MemoryBatch batch;
  ws->batch = &batch;
  ImageSummary summary;
  const Status s = RestoreImage(reader, disk, 0, disk.SectorCount(), *ws, nullptr, &summary);
  if (!s.ok()) return s.fault == Fault::kDiskWrite ? Fail(target, s) : FailImage(path, s);
  std::printf("%s: %" PRIu32 " sectors restored into %s\n", path.c_str(), summary.data_sectors,
              target.c_str());
  return 0;
}

int Backup(const std::string& source, const std::string& path, uint64_t part_limit) {
  if (const int part = PartThatIs(path, source); part >= 0) {
    return RefuseSameFile(source, path, part);
  }
  FileDisk disk;
  std::string why;
  if (!disk.Open(source, false, &why)) return Refuse(source, why);
  auto ws = std::make_unique<Workspace>();
  // Every chunk that LZ4 makes smaller is kept compressed.
  auto packed = std::make_unique<uint8_t[]>(kChunkSectors * kSectorSize);
  auto table = std::make_unique<Lz4Table>();
  ws->packed = packed.get();
  ws->table = table.get();
  // The partition is read, then the image written, 4 MiB at a time.
  MemoryBatch batch;
  ws->batch = &batch;
  ImageSource src;
  src.partition.first = 0;
  src.partition.count = disk.SectorCount();
  Status s = ReadVolumeLayout(disk, src.partition, ws->record, &src.layout);
  if (!s.ok()) return Fail(source, s);
  src.partition.type = src.layout.fs == FileSystem::kFat32   ? 0x0C
                       : src.layout.fs == FileSystem::kFat16 ? 0x06
                       : src.layout.fs == FileSystem::kFat12 ? 0x01
                                                             : 0x00;
  ImageSummary plan, written;
  s = PlanImage(disk, src, *ws, &plan);
  if (!s.ok()) return Fail(source, s);
  if (plan.bytes > part_limit * kMaxParts) {
    return Refuse(path, "The image needs " + std::to_string(plan.bytes) + " bytes, more than " +
                            std::to_string(kMaxParts) + " parts of " + std::to_string(part_limit) +
                            " bytes: nothing was written.");
  }
  uint16_t date, time;
  DosNow(&date, &time);
  ImageFileWriter writer(path, part_limit);
  s = WriteImage(disk, src, plan, date, time, writer, *ws, nullptr, &written);
  if (s.ok() && !writer.Close()) {
    s = Status::Fail(writer.system_error() == ENOSPC ? Fault::kFileFull : Fault::kFileWrite);
  }
  if (!s.ok()) {
    writer.Discard();
    const bool of_file =
        s.fault == Fault::kFileOpen || s.fault == Fault::kFileWrite || s.fault == Fault::kFileFull;
    return Fail(of_file ? writer.part() : source, s, of_file ? writer.system_error() : 0);
  }
  std::printf("%s: %" PRIu32 " sectors of %" PRIu32 " (%s) in %" PRIu64 " bytes, %u part%s",
              path.c_str(), written.data_sectors, src.partition.count, FsName(src.layout.fs),
              written.bytes, writer.parts(), writer.parts() == 1 ? "" : "s");
  if (written.left_out_sectors) {
    std::printf("; %" PRIu32 " sectors of PAGEFILE.SYS and HIBERFIL.SYS left out",
                written.left_out_sectors);
  }
  std::printf("\n");
  return 0;
}

}  // namespace
}  // namespace orvane::dos::host

int main(int argc, char** argv) {
  using namespace orvane::dos::host;
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  if (command == "info" && argc == 3) return Info(argv[2]);
  if (command == "verify" && argc == 3) return Verify(argv[2]);
  if (command == "restore" && argc == 4) return Restore(argv[2], argv[3]);
  if (command == "backup" && (argc == 4 || argc == 6)) {
    uint64_t limit = kLargestPart;
    if (argc == 6) {
      if (std::strcmp(argv[4], "--part-size") != 0) return Usage();
      if (!ParsePartSize(argv[5], &limit)) {
        std::fprintf(stderr,
                     "orvane-image: --part-size takes a number of bytes from %" PRIu64
                     " (1 MiB) to %" PRIu64 " (4 GiB less 64 KiB), in digits only\n",
                     kSmallestPart, kLargestPart);
        return 2;
      }
    }
    return Backup(argv[2], argv[3], limit);
  }
  return Usage();
}
