// The environment and the command tail, both reached through the PSP.
#include "dos/rm/rm_internal.h"

namespace orvane::dos::rm {
namespace {

constexpr uint16_t kPspEnvironment = 0x2C;
constexpr uint16_t kPspTail = 0x80;
constexpr uint16_t kEnvironmentLimit = 0x8000;  // DOS environments stay below 32 KB

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool GetEnvironment(const char* name, char* out, size_t capacity) {
  uint16_t segment = 0;
  FarRead(PspSegment(), kPspEnvironment, &segment, sizeof(segment));
  if (segment == 0 || capacity == 0 || *name == 0) return false;
  // "NAME=value\0" strings, ended by an empty one.
  uint16_t at = 0;
  auto next = [&]() -> char {
    char c = 0;
    if (at < kEnvironmentLimit) FarRead(segment, at++, &c, 1);
    return c;
  };
  for (char c = next(); c != 0; c = next()) {
    const char* n = name;
    while (*n && Upper(c) == Upper(*n)) {
      c = next();
      ++n;
    }
    if (*n == 0 && c == '=') {
      size_t size = 0;
      for (c = next(); c != 0; c = next()) {
        if (size + 1 >= capacity) return false;
        out[size++] = c;
      }
      out[size] = 0;
      return true;
    }
    while (c != 0) c = next();
  }
  return false;
}

void CommandTail(char* out, size_t capacity) {
  if (capacity == 0) return;
  uint8_t tail[128];
  FarRead(PspSegment(), kPspTail, tail, sizeof(tail));
  const uint8_t length = tail[0] < 127 ? tail[0] : 127;
  uint8_t i = 1;
  while (i <= length && (tail[i] == ' ' || tail[i] == '\t')) ++i;
  size_t size = 0;
  for (; i <= length && tail[i] != '\r' && size + 1 < capacity; ++i) out[size++] = tail[i];
  out[size] = 0;
}

}  // namespace orvane::dos::rm
