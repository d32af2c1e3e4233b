// BIOS hard disks through INT 13h: the extensions where the BIOS has them,
// CHS where it does not.
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {
namespace {

// Some BIOSes take at most 127 sectors a call.
constexpr uint32_t kMaxSectorsPerCall = 127;

// How many of `remaining` sectors from `lba` one call may move when the data
// is at `physical` (segment * 16 + offset): no more than 127, none across a
// 64 KB physical boundary (the DMA controller cannot cross one) and, with
// CHS addressing (`sectors_per_track` not 0), none past the end of the
// track. 0 when the first sector itself would straddle a 64 KB boundary:
// that sector has to go through a buffer that does not.
uint32_t NextChunk(uint32_t lba, uint32_t remaining, uint32_t physical,
                   uint32_t sectors_per_track) {
  uint32_t n = remaining < kMaxSectorsPerCall ? remaining : kMaxSectorsPerCall;
  const uint32_t before_boundary = (0x10000 - (physical & 0xFFFF)) / 512;
  if (n > before_boundary) n = before_boundary;
  if (sectors_per_track != 0) {
    const uint32_t left_on_track = sectors_per_track - lba % sectors_per_track;
    if (n > left_on_track) n = left_on_track;
  }
  return n;
}

struct Chs {
  uint32_t cylinder = 0;
  uint32_t head = 0;
  uint32_t sector = 0;  // from 1
};

// The CHS address of `lba` on a disk of `heads` heads and
// `sectors_per_track` sectors a track; false when INT 13h AH=02h cannot
// reach it (cylinder above 1023, or no geometry).
bool LbaToChs(uint32_t lba, uint32_t heads, uint32_t sectors_per_track, Chs* chs) {
  if (heads == 0 || sectors_per_track == 0) return false;
  const uint32_t track = lba / sectors_per_track;
  chs->sector = lba % sectors_per_track + 1;
  chs->head = track % heads;
  chs->cylinder = track / heads;
  return chs->cylinder <= 1023;
}

// CX for INT 13h AH=02h/03h: the cylinder's low 8 bits in CH, its bits 8
// and 9 in CL's bits 6 and 7, the sector in CL's bits 0 to 5.
uint16_t ChsCx(const Chs& chs) {
  return static_cast<uint16_t>(((chs.cylinder & 0xFF) << 8) | ((chs.cylinder >> 2) & 0xC0) |
                               (chs.sector & 0x3F));
}

// The geometry INT 13h AH=08h reports in CX and DH.
struct Geometry {
  uint32_t cylinders = 0, heads = 0, sectors_per_track = 0;
};
Geometry GeometryFromRegisters(uint16_t cx, uint8_t dh) {
  Geometry g;
  g.sectors_per_track = cx & 0x3F;
  g.cylinders = ((cx >> 8) | ((cx & 0xC0u) << 2)) + 1;
  g.heads = static_cast<uint32_t>(dh) + 1;
  return g;
}

constexpr uint8_t kStatusBadRequest = 0x01;  // what we report for sectors the BIOS cannot reach
constexpr uint8_t kStatusCorrected = 0x11;   // a read whose data the drive's ECC corrected
constexpr int kRetries = 3;

// A sector that would straddle the 64 KB boundary goes through here. Our
// data segment holds only one such boundary, so this buffer, which is
// never the caller's, cannot straddle it at the same time.
uint8_t bounce[512];

// The disk address packet of INT 13h AH=42h/43h.
struct AddressPacket {
  uint8_t size = 0x10;
  uint8_t reserved = 0;
  uint16_t count = 0;
  uint16_t offset = 0, segment = 0;
  uint32_t lba_low = 0, lba_high = 0;
};
static_assert(sizeof(AddressPacket) == 16);

// The result of INT 13h AH=48h (the first 1Ah bytes).
struct [[gnu::packed]] DriveParameters {
  uint16_t size = 0x1A;
  uint16_t flags = 0;
  uint32_t cylinders = 0, heads = 0, sectors_per_track = 0;
  uint32_t sectors_low = 0, sectors_high = 0;
  uint16_t bytes_per_sector = 0;
};
static_assert(sizeof(DriveParameters) == 0x1A);

uint32_t Physical(const void* p) { return uint32_t{DataSegment()} * 16 + Offset(p); }

void Reset(uint8_t drive) {
  Regs r;
  r.dl = drive;  // AH=00h
  IntCall(0x13, r, r);
}

}  // namespace

bool BiosDisk::Open(uint8_t drive) {
  drive_ = drive;
  extensions_ = false;
  cylinders_ = heads_ = sectors_per_track_ = 0;
  sectors_ = 0;

  Regs r;
  r.ah = 0x08;
  r.dl = drive;
  IntCall(0x13, r, r);
  // For hard disks DL says how many there are.
  bool known = !r.carry() && !((drive & 0x80) && (drive & 0x7F) >= r.dl);
  if (known) {
    const Geometry g = GeometryFromRegisters(r.cx, r.dh);
    cylinders_ = static_cast<uint16_t>(g.cylinders);
    heads_ = static_cast<uint16_t>(g.heads);
    sectors_per_track_ = static_cast<uint8_t>(g.sectors_per_track);
    sectors_ = g.cylinders * g.heads * g.sectors_per_track;
  }

  r = Regs{};
  r.ah = 0x41;
  r.bx = 0x55AA;
  r.dl = drive;
  IntCall(0x13, r, r);
  // CX bit 0: the packet calls (AH=42h to 44h, 47h, 48h) are there.
  if (!r.carry() && r.bx == 0xAA55 && (r.cx & 1)) {
    extensions_ = true;
    known = true;
    DriveParameters p;
    r = Regs{};
    r.ah = 0x48;
    r.dl = drive;
    r.si = Offset(&p);
    IntCall(0x13, r, r);
    if (!r.carry() && (p.sectors_low || p.sectors_high)) {
      sectors_ = p.sectors_high ? 0xFFFFFFFF : p.sectors_low;
    }
  }
  return known;
}

Status BiosDisk::Read(uint32_t lba, uint16_t count, uint8_t* buffer) {
  return Transfer(false, lba, count, buffer);
}

Status BiosDisk::Write(uint32_t lba, uint16_t count, const uint8_t* buffer) {
  // The BIOS only reads from the buffer when writing.
  return Transfer(true, lba, count, const_cast<uint8_t*>(buffer));
}

Status BiosDisk::Transfer(bool write, uint32_t lba, uint16_t count, uint8_t* buffer) {
  const Fault fault = write ? Fault::kDiskWrite : Fault::kDiskRead;
  // CHS reaches no further than the geometry: fail on the first sector
  // past it before moving any.
  if (!extensions_ && count > 0 && (lba >= sectors_ || count > sectors_ - lba)) {
    return Status::Fail(fault, lba >= sectors_ ? lba : sectors_, kStatusBadRequest);
  }
  // After a failed call of several sectors, one sector at a time up to
  // here, to tell which sector failed.
  uint32_t single_until = 0;
  uint32_t remaining = count;
  while (remaining > 0) {
    uint32_t n = NextChunk(lba, remaining, Physical(buffer), extensions_ ? 0 : sectors_per_track_);
    uint8_t status;
    if (n == 0) {
      n = 1;
      if (write) __builtin_memcpy(bounce, buffer, 512);
      status = Call(write, lba, 1, bounce);
      if (status == 0 && !write) __builtin_memcpy(buffer, bounce, 512);
    } else {
      if (lba < single_until) n = 1;
      status = Call(write, lba, static_cast<uint16_t>(n), buffer);
    }
    if (status != 0) {
      if (n > 1) {
        single_until = lba + n;
        continue;
      }
      return Status::Fail(fault, lba, status);
    }
    lba += n;
    buffer += n * 512;
    remaining -= n;
  }
  return Status::Ok();
}

uint8_t BiosDisk::Call(bool write, uint32_t lba, uint16_t count, uint8_t* buffer) {
  for (int attempt = 0;; ++attempt) {
    const uint8_t status = CallOnce(write, lba, count, buffer);
    if (status == 0 || attempt == kRetries) return status;
    Reset(drive_);
  }
}

uint8_t BiosDisk::CallOnce(bool write, uint32_t lba, uint16_t count, uint8_t* buffer) {
  Regs r;
  r.dl = drive_;
  if (extensions_) {
    AddressPacket packet;
    packet.count = count;
    packet.offset = Offset(buffer);
    packet.segment = DataSegment();
    packet.lba_low = lba;
    r.ah = write ? 0x43 : 0x42;  // AL=00h: write without verify
    r.si = Offset(&packet);
    IntCall(0x13, r, r);
  } else {
    Chs chs;
    if (!LbaToChs(lba, heads_, sectors_per_track_, &chs)) return kStatusBadRequest;
    r.ah = write ? 0x03 : 0x02;
    r.al = static_cast<uint8_t>(count);
    r.cx = ChsCx(chs);
    r.dh = static_cast<uint8_t>(chs.head);
    r.bx = Offset(buffer);
    IntCall(0x13, r, r);
  }
  if (!r.carry()) return 0;
  if (!write && r.ah == kStatusCorrected) return 0;
  return r.ah != 0 ? r.ah : 0xFF;
}

uint8_t BiosHardDiskCount() {
  Regs r;
  r.ah = 0x08;
  r.dl = 0x80;
  IntCall(0x13, r, r);
  return r.carry() ? 0 : r.dl;
}

}  // namespace orvane::dos::rm
