#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

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

}  // namespace orvane::dos::rm
