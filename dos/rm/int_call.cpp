#include <stddef.h>

#include "dos/rm/rm_internal.h"

extern "C" __attribute__((regparm(3))) void orvane_int_call(uint8_t number, const void* in,
                                                            void* out);

namespace orvane::dos::rm {

// int_call.S reads and writes Regs by these offsets.
static_assert(offsetof(Regs, eax) == 0 && offsetof(Regs, ebx) == 4 && offsetof(Regs, ecx) == 8 &&
              offsetof(Regs, edx) == 12 && offsetof(Regs, esi) == 16 && offsetof(Regs, edi) == 20 &&
              offsetof(Regs, ds) == 24 && offsetof(Regs, es) == 26 && offsetof(Regs, flags) == 28);

void IntCall(uint8_t number, const Regs& in, Regs& out) { orvane_int_call(number, &in, &out); }

uint16_t Offset(const void* p) { return static_cast<uint16_t>(reinterpret_cast<uintptr_t>(p)); }

uint16_t DataSegment() { return orvane_data_segment; }
uint16_t PspSegment() { return orvane_psp_segment; }

void FarRead(uint16_t segment, uint16_t offset, void* out, uint16_t size) {
  uint32_t from = offset, to = Offset(out), count = size;
  asm volatile(
      "pushw %%ds\n\t"
      "movw %w3, %%ds\n\t"
      "rep movsb\n\t"
      "popw %%ds"
      : "+S"(from), "+D"(to), "+c"(count)
      : "r"(segment)
      : "memory");
}

void FarWrite(uint16_t segment, uint16_t offset, const void* data, uint16_t size) {
  uint32_t from = Offset(data), to = offset, count = size;
  asm volatile(
      "pushw %%es\n\t"
      "movw %w3, %%es\n\t"
      "rep movsb\n\t"
      "popw %%es"
      : "+S"(from), "+D"(to), "+c"(count)
      : "r"(segment)
      : "memory");
}

}  // namespace orvane::dos::rm
