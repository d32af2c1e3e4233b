#include "dos/engine/messages.h"

namespace orvane::dos {
namespace {

const char* const kEnglish[] = {
#define MSG(id, english, chinese) english,
#include "dos/engine/messages.def"
#undef MSG
};
static_assert(sizeof kEnglish / sizeof kEnglish[0] == static_cast<size_t>(Msg::kCount));

}  // namespace

const char* EnglishText(Msg m) { return m < Msg::kCount ? kEnglish[static_cast<size_t>(m)] : ""; }

size_t FillText(const char* pattern, const char* first, const char* second, char* out,
                size_t capacity) {
  if (capacity == 0) return 0;
  size_t n = 0;
  const char* arguments[2] = {first ? first : "", second ? second : ""};
  int next = 0;
  for (const char* p = pattern; *p; ++p) {
    const char* piece = p;
    size_t length = 1;
    if (p[0] == '{' && p[1] == '}' && next < 2) {
      piece = arguments[next++];
      length = 0;
      while (piece[length]) ++length;
      ++p;
    }
    for (size_t i = 0; i < length && n + 1 < capacity; ++i) out[n++] = piece[i];
  }
  out[n] = 0;
  return n;
}

}  // namespace orvane::dos
