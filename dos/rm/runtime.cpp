// The few library functions GCC may call on its own (block copies and
// fills, pure virtual calls). The string instructions run with 32-bit
// address registers under code16gcc; our offsets fit in their low halves.
#include <stddef.h>
#include <stdint.h>

#include "dos/rm/dos_api.h"

extern "C" {

void* memcpy(void* to, const void* from, size_t size) {
  void* d = to;
  asm volatile("rep movsb" : "+D"(d), "+S"(from), "+c"(size) : : "memory");
  return to;
}

void* memset(void* to, int value, size_t size) {
  void* d = to;
  asm volatile("rep stosb" : "+D"(d), "+c"(size) : "a"(value) : "memory");
  return to;
}

void* memmove(void* to, const void* from, size_t size) {
  if (to <= from || static_cast<const uint8_t*>(from) + size <= to) return memcpy(to, from, size);
  // Overlapping with the target above the source: copy from the end down.
  void* d = static_cast<uint8_t*>(to) + size - 1;
  const void* s = static_cast<const uint8_t*>(from) + size - 1;
  asm volatile("std\n\trep movsb\n\tcld" : "+D"(d), "+S"(s), "+c"(size) : : "memory");
  return to;
}

int memcmp(const void* a, const void* b, size_t size) {
  const uint8_t* x = static_cast<const uint8_t*>(a);
  const uint8_t* y = static_cast<const uint8_t*>(b);
  for (; size; --size, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

void __cxa_pure_virtual() {
  orvane::dos::rm::Print("Internal error: pure virtual call.\n");
  orvane::dos::rm::Exit(255);
}

}  // extern "C"
