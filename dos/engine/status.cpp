#include "dos/engine/status.h"

namespace orvane::dos {

const char* FaultText(Fault fault) {
  switch (fault) {
    case Fault::kNone:
      return "No error.";
    case Fault::kDiskRead:
      return "A disk sector cannot be read.";
    case Fault::kDiskWrite:
      return "A disk sector cannot be written.";
    case Fault::kFileOpen:
      return "The image file cannot be opened.";
    case Fault::kFileRead:
      return "The image file cannot be read.";
    case Fault::kFileWrite:
      return "The image file cannot be written.";
    case Fault::kFileFull:
      return "The image drive is full.";
    case Fault::kNotAnImage:
      return "The file is not an Orvane image.";
    case Fault::kVersion:
      return "The image was made by a newer version of Orvane.";
    case Fault::kHeaderDamaged:
      return "The image header is damaged.";
    case Fault::kChunkDamaged:
      return "The image is damaged (a checksum does not match).";
    case Fault::kCutShort:
      return "The image is incomplete (it was cut short).";
    case Fault::kPartMissing:
      return "A part of the image is missing.";
    case Fault::kTrailerDamaged:
      return "The image's completion record is damaged.";
    case Fault::kTooLarge:
      return "The image is larger than drive C.";
    case Fault::kFileSystem:
      return "Drive C changed while it was read.";
    case Fault::kOutOfRange:
      return "The image is damaged (data outside its partition).";
  }
  return "Unknown error.";
}

}  // namespace orvane::dos
