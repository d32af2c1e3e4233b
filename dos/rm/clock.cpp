// Time: the BIOS's tick count, and DOS's date and time.
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {
namespace {

// INT 21h AH=2Ah: CX the year (1980 to 2099), DH the month, DL the day.
uint16_t PackedDate() {
  Regs r;
  r.ah = 0x2A;
  Dos(r);
  return static_cast<uint16_t>(((r.cx - 1980) << 9) | (r.dh << 5) | r.dl);
}

// INT 21h AH=2Ch: CH the hour, CL the minute, DH the second.
uint16_t PackedTime() {
  Regs r;
  r.ah = 0x2C;
  Dos(r);
  return static_cast<uint16_t>((r.ch << 11) | (r.cl << 5) | (r.dh >> 1));
}

}  // namespace

uint32_t BiosTicks() {
  // The timer interrupt may change the count between the reads of its two
  // halves: read until two reads agree.
  uint32_t ticks = 0, again = 0;
  do {
    FarRead(0x40, 0x6C, &ticks, sizeof(ticks));
    FarRead(0x40, 0x6C, &again, sizeof(again));
  } while (ticks != again);
  return ticks;
}

void DosDateTime(uint16_t* date, uint16_t* time) {
  // Midnight may pass between the calls and pair one day's date with the
  // next day's time: the date is read again after the time until it stays.
  uint16_t before;
  do {
    before = PackedDate();
    *time = PackedTime();
    *date = PackedDate();
  } while (*date != before);
}

}  // namespace orvane::dos::rm
