#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

uint16_t DosVersion() {
  // AX=3306h gives the true version (BL major, BH minor) on DOS 5 and
  // later; older versions return AL=FFh.
  Regs r;
  r.eax = 0x3306;
  IntCall(0x21, r, r);
  if (!r.carry() && r.al() != 0xFF && (r.ebx & 0xFF) >= 5) {
    return static_cast<uint16_t>(((r.ebx & 0xFF) << 8) | ((r.ebx >> 8) & 0xFF));
  }
  r = Regs{};
  Dos(0x30, r);
  return static_cast<uint16_t>((r.al() << 8) | r.ah());
}

}  // namespace orvane::dos::rm
