// The end of the program: back to DOS, or a restart of the computer.
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

void Exit(uint8_t code) {
  Regs r;
  r.ah = 0x4C;
  r.al = code;
  Dos(r);
  for (;;) asm volatile("");  // DOS does not come back
}

void Reboot() {
  // 1234h at 40h:72h asks the BIOS for a warm boot (no memory test).
  asm volatile(
      "pushw %%ds\n\t"
      "movw $0x40, %%ax\n\t"
      "movw %%ax, %%ds\n\t"
      "movw $0x1234, 0x72\n\t"
      "popw %%ds"
      :
      :
      : "eax", "memory");
  // The keyboard controller's reset line, once its input buffer is empty.
  for (uint16_t wait = 0; wait < 0xFFFF; ++wait) {
    uint8_t status;
    asm volatile("inb $0x64, %0" : "=a"(status));
    if ((status & 0x02) == 0) break;
  }
  asm volatile("outb %0, $0x64" : : "a"(uint8_t{0xFE}));
  // Where that does not restart the machine: the BIOS's reset entry.
  asm volatile("ljmpw $0xFFFF, $0x0000");
  __builtin_unreachable();
}

}  // namespace orvane::dos::rm
