// Text out through standard output, so that it can be redirected.
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {
namespace {

void WriteOut(const char* text, uint16_t size) {
  if (size == 0) return;
  Regs r;
  r.ah = 0x40;
  r.bx = 1;
  r.cx = size;
  r.dx = Offset(text);
  Dos(r);
}

}  // namespace

void Print(const char* text) {
  while (*text) {
    uint16_t n = 0;
    while (text[n] && text[n] != '\n') ++n;
    WriteOut(text, n);
    text += n;
    if (*text == '\n') {
      WriteOut("\r\n", 2);
      ++text;
    }
  }
}

void PrintChar(char c) {
  if (c == '\n') {
    WriteOut("\r\n", 2);
  } else {
    WriteOut(&c, 1);
  }
}

bool OutputIsConsole() {
  Regs r;
  r.ax = 0x4400;
  r.bx = 1;
  Dos(r);
  // DX bit 7: a character device; bit 1: the console's output.
  return !r.carry() && (r.dl & 0x82) == 0x82;
}

}  // namespace orvane::dos::rm
