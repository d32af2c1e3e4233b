// The catalogue of messages (messages.def): their names, their English
// texts, and how a text's "{}" are filled. Platform-neutral, like the rest
// of the engine; the Chinese texts and their glyphs go only into the DOS
// programs (tools/make-glyphs).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace orvane::dos {

enum class Msg : uint8_t {
#define MSG(id, english, chinese) id,
#include "dos/engine/messages.def"
#undef MSG
  kCount
};

// The English text of `m`, with its "{}" unfilled.
const char* EnglishText(Msg m);

// Copies `pattern` to `out`, the first "{}" replaced by `first` and the
// second by `second` (a missing argument is empty). Always ends `out` with
// a zero (when `capacity` is not 0), cutting the text short if it does not
// fit; returns the characters written before the zero.
size_t FillText(const char* pattern, const char* first, const char* second, char* out,
                size_t capacity);

}  // namespace orvane::dos
