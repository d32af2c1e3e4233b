// Installs the INT 24h handler of critical_error.S (INT 21h AH=25h, with
// DS:DX its address in the code segment), and reads what it kept.
#include "dos/rm/rm_internal.h"

extern "C" void orvane_critical_error();
// Written by the handler: 100h + the error's code, 0 when none since the
// last TakeCriticalError().
extern "C" volatile uint16_t orvane_critical_error_code;
volatile uint16_t orvane_critical_error_code = 0;

namespace orvane::dos::rm {

void FailCriticalErrors() {
  Regs r;
  r.ah = 0x25;
  r.al = 0x24;  // the vector of INT 24h
  r.ds = PspSegment();
  r.dx = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(&orvane_critical_error));
  Dos(r);
}

uint16_t TakeCriticalError() {
  const uint16_t code = orvane_critical_error_code;
  orvane_critical_error_code = 0;
  // DOS's own error codes for critical errors 00h to 0Ch are 13h to 1Fh.
  return code ? static_cast<uint16_t>(0x13 + (code & 0xFF)) : 0;
}

}  // namespace orvane::dos::rm
