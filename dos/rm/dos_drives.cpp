// What DOS knows of its drives: layout, free space, serial, caches.
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {
namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const uint8_t* p) { return Word(p) | (uint32_t{Word(p + 2)} << 16); }

// DOS versions without the FAT32 calls (AH=73h) return CF clear and AL=00h.
bool Fat32CallWorked(const Regs& r) { return !r.carry() && r.al != 0; }

// The fields of a DOS 4+ drive parameter block, which starts the extended
// one as well.
void FromDpb(const uint8_t* dpb, bool byte_fat_size, DriveParams* params) {
  params->bytes_per_sector = Word(dpb + 0x02);
  params->sectors_per_cluster = static_cast<uint16_t>(dpb[0x04] + 1);
  params->reserved_sectors = Word(dpb + 0x06);
  params->fat_count = dpb[0x08];
  params->first_data_sector = Word(dpb + 0x0B);
  params->highest_cluster = Word(dpb + 0x0D);
  params->sectors_per_fat = byte_fat_size ? dpb[0x0F] : Word(dpb + 0x0F);
}

// DOSBox answers AH=32h with a block that is not a DPB (a table of drive
// numbers): take only what looks like a FAT file system.
bool Plausible(const DriveParams& p) {
  const auto power_of_two = [](uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
  return power_of_two(p.bytes_per_sector) && p.bytes_per_sector >= 128 &&
         p.bytes_per_sector <= 4096 && power_of_two(p.sectors_per_cluster) &&
         p.sectors_per_cluster <= 128 && p.reserved_sectors >= 1 &&
         (p.fat_count == 1 || p.fat_count == 2) && p.sectors_per_fat >= 1 &&
         p.first_data_sector >= p.reserved_sectors + uint32_t{p.fat_count} * p.sectors_per_fat &&
         p.highest_cluster >= 2;
}

}  // namespace

uint8_t DosCurrentDrive() {
  Regs r;
  r.ah = 0x19;
  return static_cast<uint8_t>(Dos(r).al + 1);
}

bool DosDriveParams(uint8_t drive, DriveParams* params) {
  // AX=7302h: a length word, then the extended DPB.
  uint8_t extended[2 + 0x3D] = {};
  extended[0] = 0x3D;
  Regs r;
  r.ax = 0x7302;
  r.cx = sizeof(extended);
  r.dl = drive;
  r.di = Offset(extended);
  Dos(r);
  const uint8_t* dpb = extended + 2;
  if (Fat32CallWorked(r)) {
    DriveParams p;
    FromDpb(dpb, false, &p);
    // The 32-bit fields, which FAT32 needs; the 16-bit ones hold 0 there.
    if (uint32_t first = Dword(dpb + 0x29)) p.first_data_sector = first;
    if (uint32_t highest = Dword(dpb + 0x2D)) p.highest_cluster = highest;
    if (uint32_t fat = Dword(dpb + 0x31)) p.sectors_per_fat = fat;
    if (Plausible(p)) {
      *params = p;
      return true;
    }
  }

  // AH=32h: DS:BX points at DOS's own DPB.
  r = Regs{};
  r.ah = 0x32;
  r.dl = drive;
  Dos(r);
  if (r.al != 0) return false;
  uint8_t dpb16[0x18];
  FarRead(r.ds, r.bx, dpb16, sizeof(dpb16));
  // DOS 3 keeps the FAT size in a byte.
  DriveParams p;
  FromDpb(dpb16, DosVersion() < 0x0400, &p);
  if (!Plausible(p)) return false;
  *params = p;
  return true;
}

bool DosDriveSpace(uint8_t drive, DriveSpace* space) {
  // AX=7303h takes the root's path.
  const char root[4] = {static_cast<char>('A' + drive - 1), ':', '\\', 0};
  uint8_t info[0x2C] = {};
  Regs r;
  r.ax = 0x7303;
  r.cx = sizeof(info);
  r.dx = Offset(root);
  r.di = Offset(info);
  Dos(r);
  if (Fat32CallWorked(r) && Word(info) != 0) {
    space->bytes_per_cluster = Dword(info + 0x04) * Dword(info + 0x08);
    space->free_clusters = Dword(info + 0x0C);
    space->total_clusters = Dword(info + 0x10);
    return true;
  }

  r = Regs{};
  r.ah = 0x36;
  r.dl = drive;
  Dos(r);
  if (r.ax == 0xFFFF) return false;
  space->bytes_per_cluster = uint32_t{r.ax} * r.cx;
  space->free_clusters = r.bx;
  space->total_clusters = r.dx;
  return true;
}

bool DosVolumeSerial(uint8_t drive, uint32_t* serial) {
  // Info level 0: a level word, the serial, the label, the FAT type.
  if (DosVersion() < 0x0400) return false;
  uint8_t info[0x19] = {};
  Regs r;
  r.ax = 0x6900;
  r.bl = drive;
  r.dx = Offset(info);
  Dos(r);
  if (r.carry()) return false;
  *serial = Dword(info + 2);
  return true;
}

void FlushDiskCaches() {
  Regs r;
  r.ah = 0x0D;
  Dos(r);
  // SmartDrive 4+ answers BABEh; CX=EBABh keeps DoubleSpace from taking
  // the question for a SmartDrive 4.0 that it refuses to run with.
  r = Regs{};
  r.ax = 0x4A10;
  r.cx = 0xEBAB;
  IntCall(0x2F, r, r);
  if (r.ax != 0xBABE) return;
  r = Regs{};
  r.ax = 0x4A10;
  r.bx = 0x0001;  // commit dirty buffers
  IntCall(0x2F, r, r);
  r = Regs{};
  r.ax = 0x4A10;
  r.bx = 0x0002;  // empty the cache
  IntCall(0x2F, r, r);
}

}  // namespace orvane::dos::rm
