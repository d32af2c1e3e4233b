#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

uint16_t TakeKey() {
  Regs r;
  r.eax = 0x0100;
  IntCall(0x16, r, r);
  if (r.flags & 0x40) return 0;  // ZF: the buffer is empty
  r = Regs{};
  IntCall(0x16, r, r);  // AH=00h takes the key
  const uint8_t ascii = r.al();
  // Keys without an ASCII code come with 00h (or E0h for the grey keys).
  if (ascii == 0 || ascii == 0xE0) return static_cast<uint16_t>(r.ah() << 8);
  return ascii;
}

}  // namespace orvane::dos::rm
