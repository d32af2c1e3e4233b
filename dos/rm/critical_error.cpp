// Installs the INT 24h handler of critical_error.S (INT 21h AH=25h, with
// DS:DX its address in the code segment).
#include "dos/rm/rm_internal.h"

extern "C" void orvane_critical_error();

namespace orvane::dos::rm {

void FailCriticalErrors() {
  Regs r;
  r.eax = 0x2524;
  r.ds = PspSegment();
  r.edx = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(&orvane_critical_error));
  IntCall(0x21, r, r);
}

}  // namespace orvane::dos::rm
