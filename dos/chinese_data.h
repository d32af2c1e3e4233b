// The Chinese texts and their glyphs, as tools/make-glyphs writes them into
// the code segment. The code reaches them only through FarRead from CS
// (dos/screen.cpp): a plain read would go to the data segment.
#pragma once

#include <stdint.h>

#define CODE_DATA __attribute__((section(".cstext")))

namespace orvane::dos::zh {

extern const char* const kTexts[];  // by Msg; UTF-8
extern const uint16_t kTextCount;
extern const uint8_t kAscii[95][16];  // U+0020 to U+007E, 8x16
extern const uint16_t kGlyphCount;
extern const uint16_t kCodes[];      // sorted code points beyond ASCII
extern const uint8_t kGlyphs[][32];  // their bitmaps
extern const uint8_t kWidths[];      // 8 or 16

}  // namespace orvane::dos::zh
