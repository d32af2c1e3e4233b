// What the files of the real-mode layer share and its users need not see.
#pragma once

#include <stdint.h>

#include "dos/rm/dos_api.h"

extern "C" {
// Set by start.S before DosMain runs.
extern uint16_t orvane_psp_segment;
extern uint16_t orvane_data_segment;
}

namespace orvane::dos::rm {

// The offset of `p` in our data segment, for a register.
uint16_t Offset(const void* p);

// Calls INT 21h with `r`; `r` gets what the call returns.
inline Regs& Dos(Regs& r) {
  IntCall(0x21, r, r);
  return r;
}

// True when the call succeeded; else `*error` (when given) gets AX.
inline bool DosResult(const Regs& r, uint16_t* error) {
  if (!r.carry()) return true;
  if (error) *error = r.ax;
  return false;
}

}  // namespace orvane::dos::rm
