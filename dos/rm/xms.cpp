// The XMS driver (HIMEM.SYS): found through INT 2Fh, then called at its
// entry point through int_call.S's orvane_xms_call.
#include "dos/rm/rm_internal.h"

extern "C" {
__attribute__((regparm(3))) void orvane_xms_call(uint8_t unused, const void* in, void* out);
// The driver's entry: offset, then segment (int_call.S calls through it).
uint16_t orvane_xms_entry[2];
}

namespace orvane::dos::rm {
namespace {

// Calls the driver with AH=`function`, DX=`*dx` and SI=`si` (DS: our data
// segment); returns AX (1 for success in most functions), `*dx` gets DX.
uint16_t Xms(uint8_t function, uint16_t* dx, uint16_t si = 0) {
  Regs r;
  r.ah = function;
  r.dx = *dx;
  r.si = si;
  orvane_xms_call(0, &r, &r);
  *dx = r.dx;
  return r.ax;
}

}  // namespace

bool XmsFind() {
  Regs r;
  r.ax = 0x4300;
  IntCall(0x2F, r, r);
  if (r.al != 0x80) return false;
  r.ax = 0x4310;  // takes no other register
  IntCall(0x2F, r, r);
  orvane_xms_entry[0] = r.bx;
  orvane_xms_entry[1] = r.es;
  return true;
}

uint16_t XmsLargestFree() {
  uint16_t dx = 0;        // gets all that is free
  return Xms(0x08, &dx);  // 0 on failure
}

bool XmsAllocate(uint16_t kb, uint16_t* handle) {
  uint16_t dx = kb;
  if (Xms(0x09, &dx) != 1) return false;
  *handle = dx;
  return true;
}

bool XmsFree(uint16_t handle) { return Xms(0x0A, &handle) == 1; }

bool XmsMove(const XmsCopy& copy) {
  uint16_t dx = 0;
  return Xms(0x0B, &dx, Offset(&copy)) == 1;
}

}  // namespace orvane::dos::rm
