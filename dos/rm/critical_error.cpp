// Installs the INT 24h handler of critical_error.S and its INT 23h one
// (INT 21h AH=25h, with DS:DX their addresses in the code segment), and
// reads what the first kept.
#include "dos/rm/rm_internal.h"

extern "C" void orvane_critical_error();
extern "C" void orvane_ignore_break();
// Written by the handler: 100h + the error's code, 0 when none since the
// last TakeCriticalError().
extern "C" volatile uint16_t orvane_critical_error_code;
volatile uint16_t orvane_critical_error_code = 0;

namespace orvane::dos::rm {
namespace {

// Points interrupt `vector` at `handler`, in our code segment.
void SetVector(uint8_t vector, void (*handler)()) {
  Regs r;
  r.ah = 0x25;
  r.al = vector;
  r.ds = PspSegment();
  r.dx = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(handler));
  Dos(r);
}

}  // namespace

void FailCriticalErrors() { SetVector(0x24, &orvane_critical_error); }

void IgnoreBreak() { SetVector(0x23, &orvane_ignore_break); }

uint16_t TakeCriticalError() {
  const uint16_t code = orvane_critical_error_code;
  orvane_critical_error_code = 0;
  // DOS's own error codes for critical errors 00h to 0Ch are 13h to 1Fh.
  return code ? static_cast<uint16_t>(0x13 + (code & 0xFF)) : 0;
}

}  // namespace orvane::dos::rm
