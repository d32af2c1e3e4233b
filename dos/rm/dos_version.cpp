#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {

uint16_t DosVersion() {
  // AX=3306h gives the true version (BL major, BH minor) on DOS 5 and
  // later; older versions return AL=FFh.
  Regs r;
  r.ax = 0x3306;
  Dos(r);
  if (!r.carry() && r.al != 0xFF && r.bl >= 5) return static_cast<uint16_t>((r.bl << 8) | r.bh);
  r = Regs{};
  r.ah = 0x30;  // AL major, AH minor
  Dos(r);
  return static_cast<uint16_t>((r.al << 8) | r.ah);
}

}  // namespace orvane::dos::rm
