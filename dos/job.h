// What BF and HF share: the command line and the ticket, the normal boot
// menu, drive C's partition, image files on DOS drives, the progress line
// and the two ways a run ends.
#pragma once

#include <stdint.h>

#include "dos/engine/handover.h"
#include "dos/engine/image.h"
#include "dos/rm/dos_api.h"
#include "dos/screen.h"

namespace orvane::dos {

// All zero but for what StartJob sets, so that a static Job goes into
// .bss rather than into the file (a pointer to "" would put its 1 KB there).
struct Job {
  const char* name = nullptr;  // "BF" or "HF" (StartJob)
  bool unattended = false;     // ORVANE_UNATTENDED=1: no waits, no restart
  bool no_restart = false;     // ORVANE_NO_RESTART=1: waits as usual, then exit instead
  uint32_t part_size = 0;      // ORVANE_PART_SIZE=<bytes>: smaller image parts, for tests
  bool store = false;          // ORVANE_STORE=1: BF stores chunks as they are, for speed tests
  char argument[kPathCapacity] = {};
  bool has_ticket = false;  // C:\ORVANE.JOB is for this run
  Ticket ticket;
  char image[kPathCapacity] = {};  // the image's first part, as DOS names it
  bool menu_restored = false;
  bool drive_c_written = false;  // from the first raw write on, DOS must not touch C:
};

// Reads the command line, the environment and the ticket; fails the run
// when there is no argument.
void StartJob(const char* name, Job& job);

// Finds the image's DOS path: through the ticket (the drive whose volume
// serial it names) or, without one, the argument as it stands. Fails the
// run when the drive cannot be found.
void ResolveImagePath(Job& job, rm::BiosDisk* disks, int disk_count, Workspace& ws);

// Opens the BIOS hard disks; returns how many (at most `max`).
int OpenBiosDisks(rm::BiosDisk* disks, int max);

// Drive C's partition on the first BIOS disk, checked against what DOS
// says of C: (its drive parameter block and cluster count). Fails the run
// when it cannot be told for certain.
void FindDriveC(Job& job, rm::BiosDisk& disk, Workspace& ws, ImageSource* source);

// Puts the user's boot files back: the menu (C:\BOOT.ORV, or the normal
// menu made from C:\boot.ini) and C:\AUTOEXEC.BAT (C:\AUTOEXEC.ORV, or
// the batch file less the job's line); removes the ticket, empties DOS's
// and SmartDrive's caches and has DOS read the FATs of drive C and of the
// image's drive again. Returns false, having said why, when C:\boot.ini
// cannot be written.
bool RestoreBootFiles(Job& job);

// The drive number (1 = A:) of a DOS path, or of the current drive.
uint8_t DriveOf(const char* path);

// An image on DOS drives, in parts of at most 4 GiB less 64 KiB (2 GiB
// less 64 KiB where DOS lacks the extended-size open).
class DosImageFile final : public ImageOutput, public ImageInput {
 public:
  static constexpr uint32_t kExtendedPartLimit = 0xFFFF0000u;
  static constexpr uint32_t kPartLimit = 0x7FFF0000u;
  // Creates (or empties) the first part and deletes later parts left from
  // an older image.
  bool Create(const char* first, uint16_t* error);
  // Parts of at most `bytes` (at least 64 KiB), where that is less than
  // DOS's own limit.
  void LimitParts(uint32_t bytes) { part_size_ = bytes; }
  bool Open(const char* first, uint16_t* error);
  Status Write(const uint8_t* data, uint32_t size) override;
  Status Read(uint8_t* data, uint32_t size, uint32_t* got) override;
  // Writes what Write has gathered; a written image ends with it.
  Status Flush();
  // Closes the part open now; what Write gathered and Flush did not write
  // is dropped.
  bool Close();
  // Empties the first part and deletes the others: what a failed backup
  // leaves.
  void Discard();
  // The bytes of the first part that exists now (0 when none).
  static uint32_t ExistingSize(const char* first);

 private:
  static constexpr uint32_t kBlockBytes = 0x8000;
  bool OpenPart(unsigned index, bool create, uint16_t* error);
  // A block of kBlockBytes outside our data segment, which is full, taken
  // from DOS at the first use; false where DOS has none to give (then the
  // calls go to DOS as they come).
  bool HaveBlock();
  // Writes `size` bytes at segment:offset to the parts, a new part at
  // each part's limit.
  Status Put(uint16_t segment, uint16_t offset, uint32_t size);
  // Reads up to `size` bytes into segment:offset, across parts; `*got` is
  // less only at the end of the last part.
  Status Fill(uint16_t segment, uint16_t offset, uint32_t size, uint32_t* got);
  const char* first_ = nullptr;
  uint16_t handle_ = 0;
  bool open_ = false;
  bool writing_ = false;
  bool extended_ = false;
  unsigned index_ = 0;
  uint32_t in_part_ = 0;
  uint32_t limit_ = 0;
  uint32_t part_size_ = 0;
  uint64_t total_ = 0;  // bytes read or written in all parts
  uint32_t first_part_ = 0;
  bool ended_ = false;
  uint16_t block_ = 0;  // its segment
  bool no_block_ = false;
  uint32_t used_ = 0;   // bytes in the block: gathered, or read ahead
  uint32_t taken_ = 0;  // bytes of a read-ahead block handed out
};

// Memory for the engine's batches (Workspace::batch), taken once: up to
// 4 MB of XMS where a driver has at least 512 KB free, else the largest
// block of conventional memory less 40 KB, so that DosImageFile's block,
// taken later, still fits; null where that leaves under 64 KB.
BatchMemory* TakeBatchMemory();
// Gives an XMS block back: Leave and the restart call it, as every way
// out of the program goes through one of them.
void ReturnBatchMemory();

// The progress: percent, megabytes done of the total, speed and time
// left; a line redrawn in place in English, a bar in Chinese.
class ScreenProgress final : public Progress {
 public:
  explicit ScreenProgress(Msg what) : what_(what) {}
  void Update(uint32_t done, uint32_t total) override;
  // Ends with the time taken: "Writing   took 12.3 s."
  void Finish();

 private:
  Msg what_;
  uint32_t start_ = rm::BiosTicks();
  int last_percent_ = -1;
};

// Numbers as text, for a message's arguments: "123", "0C", "123.4 MB".
// FormatNumber returns the end of its text (the zero).
char* FormatNumber(uint32_t value, char* out /* 11 bytes */);
void FormatHex(uint32_t value, int digits, char* out /* digits + 1 bytes */);
void FormatMegabytes(uint64_t bytes, char* out /* 16 bytes */);
// A fault's sentence and position, in the screen's language.
void ShowFault(const Status& s);

// No message: for Fail's `what` or `advice`.
constexpr Msg kNoMessage = Msg::kCount;

// Ends a run that failed: the message, that drive C has not been changed
// (unless it has), `advice` unless kNoMessage, then (attended) a key or 60
// seconds and a restart into Windows; unattended, exit code 1.
// The normal boot files are put back first, unless drive C has been written.
[[noreturn]] void Fail(Job& job, Msg what, Msg advice);
// `what` may be kNoMessage where the fault's own sentence says it; with a
// kFileOpen fault it is the sentence without its full stop, and only the
// DOS error in words follows it.
[[noreturn]] void FailStatus(Job& job, Msg what, const Status& s, Msg advice);
// Ends a run that succeeded (or was cancelled): restart, or exit with
// `code` when the job does not restart.
[[noreturn]] void Finish(const Job& job, uint8_t code = 0);
// Back to text mode and to DOS with `code`.
[[noreturn]] void Leave(uint8_t code);

}  // namespace orvane::dos
