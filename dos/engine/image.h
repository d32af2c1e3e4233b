// The image file: a header, chunks of partition sectors each with its own
// CRC-32, and a completion record written last. The layout of every
// record is described in docs/image-format.md.
#pragma once

#include <stdint.h>

#include "dos/engine/disk.h"
#include "dos/engine/lz4.h"
#include "dos/engine/volume.h"

namespace orvane::dos {

// The newest version this engine reads (docs/image-format.md: a major
// version for what an older reader would misread, a minor one for what it
// may ignore). It writes 2.0 with compressed chunks and 1.1 without.
constexpr uint16_t kFormatMajor = 2;
constexpr uint16_t kFormatMinor = 0;
constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kChunkHeaderSize = 28;
constexpr uint32_t kTrailerSize = 64;
constexpr uint32_t kChunkSectors = 64;  // 32 KB of data at most a chunk
constexpr uint32_t kMaxRuns = kChunkSectors;
constexpr uint32_t kMapCapacity = kMaxRuns * 10;  // two varints of five bytes a run

// Everything the header says.
struct ImageHeader {
  uint16_t major = kFormatMajor, minor = kFormatMinor;
  bool raw = false;          // every sector (a file system the engine cannot read)
  uint8_t bios_disk = 0x80;  // where the partition was
  uint8_t partition_type = 0;
  uint32_t first_sector = 0;  // the partition's first sector on that disk
  uint32_t sector_count = 0;  // the partition's sectors
  FileSystem fs = FileSystem::kUnknown;
  uint32_t cluster_bytes = 0;
  uint32_t first_data_sector = 0;
  uint32_t cluster_count = 0;
  uint32_t serial = 0;
  char label[12] = {};
  uint32_t data_sectors = 0;            // sectors the image holds
  uint32_t left_out_sectors = 0;        // in use, but of the paging and hibernation files
  uint16_t dos_date = 0, dos_time = 0;  // when it was made, in DOS's packed form
  uint32_t crc = 0;                     // the header's own CRC, as stored
};

// The completion record.
struct ImageSummary {
  uint32_t chunks = 0;
  uint32_t data_sectors = 0;
  uint64_t bytes = 0;             // the whole image, completion record included
  uint32_t left_out_sectors = 0;  // PlanImage and WriteImage: what the image leaves out
};

// Buffers for one imaging operation. The engine allocates nothing else.
// `data` has room after a chunk for a compressed chunk to be decoded in
// place. With `packed` (room for a chunk) and `table`, PlanImage and
// WriteImage make chunks that are compressed where LZ4 makes them smaller.
// `packed` may be the second half of `data` (where memory is short): then
// chunks hold half of kChunkSectors.
struct Workspace {
  uint8_t data[kChunkSectors * kSectorSize + Lz4InPlaceMargin(kChunkSectors * kSectorSize)];
  uint8_t map[kMapCapacity];
  uint8_t fat[kFatWindowSectors * kSectorSize];
  uint8_t record[kHeaderSize];
  // Null in a Workspace that is static or value-initialized (no member
  // initializers here: the real-mode programs have no static constructors).
  uint8_t* packed;
  Lz4Table* table;
  // With a batch, WriteImage reads and packs chunks until it is full
  // before it writes them, and RestoreImage checks as many before it
  // writes them.
  BatchMemory* batch;
};

// The partition to image and what is known of its volume.
struct ImageSource {
  uint8_t bios_disk = 0x80;
  PartitionEntry partition;
  VolumeLayout layout;
};

// Counts what an image of `source` will hold: its chunks and data sectors
// exactly, its bytes at most (compression may make them fewer), and the
// sectors it leaves out (the paging and hibernation files). Reads the root
// directory and the FAT, no data.
Status PlanImage(SectorDisk& disk, const ImageSource& source, Workspace& ws, ImageSummary* plan);

// Writes the image of `source` to `out`: header, chunks, completion record.
// `plan` is what PlanImage counted; the date and time go into the header.
// Progress counts data sectors.
Status WriteImage(SectorDisk& disk, const ImageSource& source, const ImageSummary& plan,
                  uint16_t dos_date, uint16_t dos_time, ImageOutput& out, Workspace& ws,
                  Progress* progress, ImageSummary* written);

// Reads just the header (the first 512 bytes of `in`).
Status ReadImageHeader(ImageInput& in, Workspace& ws, ImageHeader* header);

// Checks an image by its two ends, without reading its chunks: the header
// (its first 512 bytes) and the completion record (its last 64 bytes) of an
// image `image_bytes` long. A quick test that a file is a whole image of
// ours; only VerifyImage finds damage inside.
Status CheckImageEnds(const uint8_t* header_bytes, const uint8_t* trailer, uint64_t image_bytes,
                      ImageHeader* header);

// Reads the whole image and checks every record: header, each chunk's
// header and CRC, the runs inside the partition, the completion record.
// Writes nothing anywhere.
Status VerifyImage(ImageInput& in, Workspace& ws, Progress* progress, ImageHeader* header,
                   ImageSummary* summary);

// Writes the image's sectors into the partition that starts at
// `target_first` and has `target_count` sectors. The image must have been
// verified; every chunk is checked again before its sectors are written,
// and a partition smaller than the image's source is refused before any
// write.
Status RestoreImage(ImageInput& in, SectorDisk& disk, uint32_t target_first, uint32_t target_count,
                    Workspace& ws, Progress* progress, ImageSummary* summary);

// The name of part `index` of an image whose first part is `first`
// (index 0 is `first` itself; part n replaces the extension with "G" and
// two digits, G01 to G99). False when it does not fit in `capacity`.
bool ImagePartName(const char* first, unsigned index, char* out, uint32_t capacity);
constexpr unsigned kMaxParts = 100;

}  // namespace orvane::dos
