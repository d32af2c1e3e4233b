// What went wrong in the imaging engine, and where. Platform-neutral: the
// same header builds freestanding for the DOS programs and natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "dos/engine/messages.h"

namespace orvane::dos {

enum class Fault : uint8_t {
  kNone = 0,
  kDiskRead,        // where: the absolute sector; detail: the BIOS status
  kDiskWrite,       // the same
  kFileOpen,        // detail: the DOS error code
  kFileRead,        // where: the image byte offset
  kFileWrite,       // where: the image byte offset; detail: the DOS error code
  kFileFull,        // the target has no room for more; where: the image byte offset
  kNotAnImage,      // the file does not start with an image header
  kVersion,         // an image of a newer format version; detail: its major version
  kHeaderDamaged,   // the header's CRC does not match
  kChunkDamaged,    // where: the chunk number
  kCutShort,        // the image ends before its completion record; where: byte offset
  kPartMissing,     // where: byte offset; detail: the part number that cannot be opened
  kTrailerDamaged,  // the completion record does not match what came before it
  kTooLarge,        // the image's partition is larger than the target partition
  kFileSystem,      // the partition's FAT is inconsistent; where: the cluster
  kOutOfRange,      // a run outside the source partition; where: the chunk number
  kMemory,          // the batch memory failed a copy; where: the chunk number
};

struct Status {
  Fault fault = Fault::kNone;
  uint64_t where = 0;  // 64 bits: byte offsets in an image run past 4 GiB
  uint16_t detail = 0;

  constexpr bool ok() const { return fault == Fault::kNone; }
  static constexpr Status Ok() { return {}; }
  static constexpr Status Fail(Fault f, uint64_t where = 0, uint16_t detail = 0) {
    return {f, where, detail};
  }
};

// The catalogue's sentence for `fault`.
Msg FaultMessage(Fault fault);
// Its English text, as on DOS's text screen.
const char* FaultText(Fault fault);

// A DOS error code in words (kErrorFileNotFound, ...); false for codes
// without.
bool DosErrorMessage(uint16_t code, Msg* words);
// The English words; null for codes without.
const char* DosErrorText(uint16_t code);

// Where FormatFault puts a fault's text: catalogue messages, each with up
// to two arguments, in the language of the sink.
class FaultOut {
 public:
  virtual void Say(Msg m, const char* first = nullptr, const char* second = nullptr) = 0;
  // Says `m` with the text of `words`, in the same language, as its
  // argument.
  virtual void SayWith(Msg m, Msg words) = 0;

 protected:
  ~FaultOut() = default;
};

// Says the sentence for `s.fault` and, where the fault has one, its
// position: "(sector N, BIOS status XXh)", "(chunk N)", "(at byte N)",
// "(part N)", the DOS error in words or "(DOS error N)". Builds
// freestanding: no 64-bit division is needed.
void FormatFault(const Status& s, FaultOut& out);

// Room for any English text FormatFault writes, its terminating zero
// included.
constexpr size_t kFaultTextCapacity = 112;

// The English text into `out`. Always ends `out` with a zero (when
// `capacity` is not 0), cutting the text short if it does not fit; returns
// the characters written before the zero.
size_t FormatFault(const Status& s, char* out, size_t capacity);

}  // namespace orvane::dos
