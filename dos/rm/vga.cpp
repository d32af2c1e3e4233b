// VGA: presence and mode through INT 10h, drawing in mode 12h through the
// graphics controller (ports 3CEh/3CFh) and the planes at A000h.
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {
namespace {

constexpr uint16_t kGraphicsController = 0x3CE;
constexpr uint16_t kVgaSegment = 0xA000;

// One graphics controller register: its index in the low byte, the value
// in the high byte, written as one word.
void SetGraphicsRegister(uint8_t index, uint8_t value) {
  const uint16_t word = static_cast<uint16_t>((value << 8) | index);
  asm volatile("outw %w0, %w1" : : "a"(word), "Nd"(kGraphicsController));
}

}  // namespace

bool VgaPresent() {
  Regs r;
  r.ax = 0x1A00;
  IntCall(0x10, r, r);
  return r.al == 0x1A && r.bl == 0x08;
}

void SetVideoMode(uint8_t mode) {
  Regs r;
  r.al = mode;  // AH=00h
  IntCall(0x10, r, r);
}

void VgaPaint(uint16_t offset, uint8_t mask, uint8_t colour) {
  SetGraphicsRegister(0x00, colour);  // set/reset: the colour for every plane
  SetGraphicsRegister(0x01, 0x0F);    // enable set/reset on all four planes
  SetGraphicsRegister(0x08, mask);    // bit mask: the pixels to change
  // The read fills the latches, which keep the pixels outside the mask;
  // the written value does not matter with set/reset enabled.
  uint32_t address = offset;
  asm volatile(
      "pushw %%es\n\t"
      "movw %w1, %%es\n\t"
      "movb %%es:(%0), %%al\n\t"
      "movb %%al, %%es:(%0)\n\t"
      "popw %%es"
      :
      : "r"(address), "r"(kVgaSegment)
      : "eax", "memory");
}

void VgaCopy(uint16_t to, uint16_t from, uint16_t bytes) {
  // Write mode 1 writes the latches that each read filled: all four
  // planes move with one byte.
  SetGraphicsRegister(0x05, 0x01);
  uint32_t source = from, target = to, count = bytes;
  asm volatile(
      "pushw %%ds\n\t"
      "pushw %%es\n\t"
      "movw %w3, %%ds\n\t"
      "movw %w3, %%es\n\t"
      "rep movsb\n\t"
      "popw %%es\n\t"
      "popw %%ds"
      : "+S"(source), "+D"(target), "+c"(count)
      : "r"(kVgaSegment)
      : "memory");
  SetGraphicsRegister(0x05, 0x00);
}

}  // namespace orvane::dos::rm
