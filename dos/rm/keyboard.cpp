#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

uint16_t TakeKey() {
  Regs r;
  r.ah = 0x01;
  IntCall(0x16, r, r);
  if (r.flags & 0x40) return 0;  // ZF: the buffer is empty
  r = Regs{};
  IntCall(0x16, r, r);  // AH=00h takes the key
  // Keys without an ASCII code come with 00h (or E0h for the grey keys).
  if (r.al == 0 || r.al == 0xE0) return static_cast<uint16_t>(r.ah << 8);
  return r.al;
}

}  // namespace orvane::dos::rm
