// The real-mode layer of BF and HF: BIOS and DOS services for a .COM
// program built with g++ -m16. Every interrupt goes through IntCall; the
// functions below are one service each and never print.
//
// Memory model: the code runs in the program's own segment (CS = PSP);
// data, bss and the stack live in a separate 64 KB data segment
// (DS = ES = SS), so every pointer below is an offset in that segment.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "dos/engine/disk.h"

namespace orvane::dos::rm {

// The registers an interrupt takes and gives, cleared by default. Each
// register answers to all its names: eax, ax, ah and al are views of the
// same four bytes (x86 keeps the low byte first), so `r.ah = 0x48` and
// `r.eax = 0x4800` set the same bits of a cleared Regs.
struct Regs {
  union {
    uint32_t eax = 0;
    uint16_t ax;
    struct {
      uint8_t al, ah;
    };
  };
  union {
    uint32_t ebx = 0;
    uint16_t bx;
    struct {
      uint8_t bl, bh;
    };
  };
  union {
    uint32_t ecx = 0;
    uint16_t cx;
    struct {
      uint8_t cl, ch;
    };
  };
  union {
    uint32_t edx = 0;
    uint16_t dx;
    struct {
      uint8_t dl, dh;
    };
  };
  union {
    uint32_t esi = 0;
    uint16_t si;
  };
  union {
    uint32_t edi = 0;
    uint16_t di;
  };
  uint16_t ds = 0, es = 0;  // 0 means "our data segment" on the way in
  uint16_t flags = 0;       // on the way out: the flags after the interrupt

  bool carry() const { return (flags & 1) != 0; }
};
static_assert(offsetof(Regs, ax) == 0 && offsetof(Regs, al) == 0 && offsetof(Regs, ah) == 1 &&
              offsetof(Regs, bl) == 4 && offsetof(Regs, bh) == 5 && offsetof(Regs, cl) == 8 &&
              offsetof(Regs, ch) == 9 && offsetof(Regs, dl) == 12 && offsetof(Regs, dh) == 13 &&
              offsetof(Regs, si) == 16 && offsetof(Regs, di) == 20);

// Calls interrupt `number` with `in`; fills `out` (which may be `in`).
// Takes 10h, 13h, 15h, 16h, 1Ah, 21h, 25h, 26h and 2Fh; any other number
// only sets the carry flag in `out`.
void IntCall(uint8_t number, const Regs& in, Regs& out);

// Our data segment (DS), and the program's PSP segment (CS).
uint16_t DataSegment();
uint16_t PspSegment();

// Copies `size` bytes from segment:offset into `out` (in our data segment).
void FarRead(uint16_t segment, uint16_t offset, void* out, uint16_t size);
// Copies `size` bytes of `data` (in our data segment) to segment:offset.
void FarWrite(uint16_t segment, uint16_t offset, const void* data, uint16_t size);

// --- BIOS disks (INT 13h) ---------------------------------------------

// A BIOS hard disk (80h, 81h, ...). Uses the INT 13h extensions
// (AH=41h/42h/43h/48h) where the BIOS offers them, CHS (AH=02h/03h/08h)
// where it does not. Transfers never cross a 64 KB physical boundary and
// never exceed 127 sectors a call; a failed call is retried three times
// with a disk reset (AH=00h) between tries. After a failed call of several
// sectors they are tried one at a time, so that the status names the first
// sector that failed. With CHS, sectors past the geometry fail at once with
// status 01h. Reads that the drive's ECC corrected (status 11h) succeed.
class BiosDisk final : public SectorDisk {
 public:
  // False when the BIOS does not know `drive`.
  bool Open(uint8_t drive);
  Status Read(uint32_t lba, uint16_t count, uint8_t* buffer) override;
  Status Write(uint32_t lba, uint16_t count, const uint8_t* buffer) override;
  uint32_t SectorCount() override { return sectors_; }

  bool extensions() const { return extensions_; }
  uint8_t drive() const { return drive_; }

 private:
  Status Transfer(bool write, uint32_t lba, uint16_t count, uint8_t* buffer);
  // One transfer as the BIOS takes it, tried up to four times; the BIOS
  // status (0 when it went well).
  uint8_t Call(bool write, uint32_t lba, uint16_t count, uint8_t* buffer);
  uint8_t CallOnce(bool write, uint32_t lba, uint16_t count, uint8_t* buffer);
  uint8_t drive_ = 0;
  bool extensions_ = false;
  uint16_t cylinders_ = 0;
  uint16_t heads_ = 0;  // up to 256
  uint8_t sectors_per_track_ = 0;
  uint32_t sectors_ = 0;
};

// The number of hard disks the BIOS reports (INT 13h AH=08h on 80h).
uint8_t BiosHardDiskCount();

// --- DOS (INT 21h) ----------------------------------------------------

// DOS's version as major * 256 + minor (the true version, AX=3306h where
// it answers, else AH=30h).
uint16_t DosVersion();

// File calls: true on success; on failure `*error` (when given) gets
// DOS's error code. Paths are ASCIIZ in the ANSI code page.
bool DosOpen(const char* path, uint8_t mode, uint16_t* handle, uint16_t* error = nullptr);
// AX=6C00h with the extended-size flag (files up to 4 GiB less 1 byte on
// MS-DOS 7.1); `action`: 1 open, 0x12 replace, 0x10 create, 0x11 open or create.
bool DosExtendedOpen(const char* path, uint16_t mode, uint16_t action, uint16_t* handle,
                     uint16_t* error = nullptr);
bool DosCreate(const char* path, uint16_t attributes, uint16_t* handle, uint16_t* error = nullptr);
bool DosRead(uint16_t handle, void* data, uint16_t size, uint16_t* got, uint16_t* error = nullptr);
bool DosWrite(uint16_t handle, const void* data, uint16_t size, uint16_t* written,
              uint16_t* error = nullptr);
// The same, for data at segment:offset outside our data segment.
bool DosReadFar(uint16_t handle, uint16_t segment, uint16_t offset, uint16_t size, uint16_t* got,
                uint16_t* error = nullptr);
bool DosWriteFar(uint16_t handle, uint16_t segment, uint16_t offset, uint16_t size,
                 uint16_t* written, uint16_t* error = nullptr);
bool DosSeek(uint16_t handle, uint32_t offset, uint8_t origin, uint32_t* position = nullptr);
// A block of conventional memory of `paragraphs` 16-byte units (AH=48h);
// DOS frees it when the program ends.
bool DosAllocate(uint16_t paragraphs, uint16_t* segment, uint16_t* error = nullptr);
// The paragraphs of the largest block DOS could give now (AH=48h with
// BX=FFFFh, which DOS refuses with the largest in BX).
uint16_t DosLargestBlock();
bool DosClose(uint16_t handle);
bool DosCommit(uint16_t handle);  // AH=68h
bool DosDelete(const char* path, uint16_t* error = nullptr);
bool DosRename(const char* from, const char* to, uint16_t* error = nullptr);
bool DosGetAttributes(const char* path, uint16_t* attributes);
bool DosSetAttributes(const char* path, uint16_t attributes);

// The current drive, numbered as the calls below take drives: 1 = A:
// (INT 21h AH=19h, which counts from 0 = A:).
uint8_t DosCurrentDrive();

// What DOS knows of a drive (1 = A:, 3 = C:). From the extended DPB
// (AX=7302h) where DOS has it, else from the DPB (AH=32h). False when the
// answer does not describe a FAT layout: DOSBox's AH=32h points at a table
// of drive numbers, not at a DPB.
struct DriveParams {
  uint16_t bytes_per_sector = 0;
  uint16_t sectors_per_cluster = 0;
  uint16_t reserved_sectors = 0;  // the first FAT's sector
  uint8_t fat_count = 0;
  uint32_t first_data_sector = 0;  // relative to the partition
  uint32_t highest_cluster = 0;    // clusters + 1
  uint32_t sectors_per_fat = 0;
};
bool DosDriveParams(uint8_t drive, DriveParams* params);

// Free space: AX=7303h where DOS has it, else AH=36h.
struct DriveSpace {
  uint32_t bytes_per_cluster = 0;
  uint32_t free_clusters = 0;
  uint32_t total_clusters = 0;
};
bool DosDriveSpace(uint8_t drive, DriveSpace* space);

// The volume serial (AX=6900h). False where DOS does not say (DOSBox).
bool DosVolumeSerial(uint8_t drive, uint32_t* serial);

// Writes DOS's buffers to disk (AH=0Dh) and commits and empties a loaded
// SmartDrive's cache (INT 2Fh AX=4A10h BX=0001h, then BX=0002h).
void FlushDiskCaches();

// --- Extended memory (XMS) ---------------------------------------------

// True when an XMS driver (HIMEM.SYS) is loaded: INT 2Fh AX=4300h answers
// AL=80h. Then takes the driver's entry point (AX=4310h: ES:BX), which the
// calls below reach by a far call with the function in AH; the driver
// answers AX=1 for success.
bool XmsFind();
// The largest free block of extended memory in KB (AH=08h: AX), 0 when
// there is none.
uint16_t XmsLargestFree();
// A block of `kb` KB (AH=09h, DX=kb); its handle in `*handle`.
bool XmsAllocate(uint16_t kb, uint16_t* handle);
// Gives a block back (AH=0Ah). What a program leaves allocated stays lost
// until the computer restarts.
bool XmsFree(uint16_t handle);
// What AH=0Bh copies: `length` bytes (even) between a block, at an offset
// in it, and conventional memory, which a handle of 0 names with
// segment << 16 | offset for its offset.
struct XmsCopy {
  uint32_t length;
  uint16_t from_handle;
  uint32_t from_offset;
  uint16_t to_handle;
  uint32_t to_offset;
} __attribute__((packed));
static_assert(sizeof(XmsCopy) == 16);
// AH=0Bh with DS:SI at `copy`.
bool XmsMove(const XmsCopy& copy);

// --- Screen, keyboard, clock, environment, the end ---------------------

// Writes text to standard output (INT 21h AH=40h, handle 1), so that it
// can be redirected; "\n" goes out as CR LF.
void Print(const char* text);
void PrintChar(char c);

// True when standard output is the console, not a file (INT 21h AX=4400h:
// a character device that is the standard output).
bool OutputIsConsole();

// True when INT 10h AX=1A00h reports a colour VGA as the active display.
bool VgaPresent();
// Sets the BIOS video mode (INT 10h AH=00h): 12h for 640x480 in 16
// colours, 03h for 80x25 text.
void SetVideoMode(uint8_t mode);

// Mode 12h draws through the graphics controller into four planes at
// A000h, 80 bytes a line of 640 pixels, the leftmost in the high bit.
constexpr uint16_t kVgaLineBytes = 80;
// Sets the pixels that `mask` selects in the byte at `offset` to `colour`
// and leaves the others as they are.
void VgaPaint(uint16_t offset, uint8_t mask, uint8_t colour);
// Copies `bytes` bytes of all four planes from `from` to `to` (to below
// from), as a scroll does.
void VgaCopy(uint16_t to, uint16_t from, uint16_t bytes);

// BIOS ticks since midnight, about 18.2 a second: the BIOS data area's
// count at 40h:6Ch, read there rather than through INT 1Ah AH=00h, which
// would take DOS's midnight flag and so keep its date from advancing.
uint32_t BiosTicks();
constexpr uint32_t kTicksPerHour = 65543;  // 18.2065 * 3600

// DOS's date and time (INT 21h AH=2Ah and AH=2Ch), packed as FAT keeps
// them: date = (year - 1980) << 9 | month << 5 | day, time = hours << 11 |
// minutes << 5 | seconds / 2.
void DosDateTime(uint16_t* date, uint16_t* time);

// The key waiting in the BIOS buffer (INT 16h AH=01h/00h), 0 when none:
// the ASCII code, or the scan code times 256 for keys without one.
uint16_t TakeKey();
constexpr uint16_t kKeyEsc = 27;

// The value of environment variable `name` into `out` (ASCIIZ); false
// when it is not set or does not fit.
bool GetEnvironment(const char* name, char* out, size_t capacity);

// The command tail (PSP:80h) without its leading blanks, ASCIIZ.
void CommandTail(char* out, size_t capacity);

// Makes DOS fail a call that meets a disk error (a drive without a disk, a
// bad sector) instead of asking "Abort, Retry, Fail?" and waiting for a key
// nobody may press: INT 24h answers "fail". DOS puts the old handler back
// when the program ends.
void FailCriticalErrors();

// Makes DOS go on where Ctrl-C or Ctrl-Break would end the program (INT 23h
// returns at once): it would end it half-way, with drive C half-written
// and an XMS block left allocated. DOS puts the old handler back when the
// program ends.
void IgnoreBreak();

// The DOS error code (13h to 1Fh: "write fault" is 1Dh) of the critical
// error DOS met since the last call, or 0 when none; forgets it. Some DOSes
// answer a call failed that way with another code: FreeDOS gives 5,
// "access denied", for a write that met a disk error.
uint16_t TakeCriticalError();

// Restarts the computer (warm boot: 40h:72h = 1234h, the keyboard
// controller's reset line, then a jump to FFFF:0000).
[[noreturn]] void Reboot();

// Ends the program with `code` (INT 21h AH=4Ch).
[[noreturn]] void Exit(uint8_t code);

}  // namespace orvane::dos::rm
