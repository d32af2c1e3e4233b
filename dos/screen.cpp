#include "dos/screen.h"

#include "dos/chinese_data.h"
#include "dos/rm/dos_api.h"

namespace orvane::dos {
namespace {

constexpr uint8_t kColumns = 80;
constexpr uint8_t kRows = 30;
constexpr uint16_t kCellLines = 16;
constexpr uint16_t kRowBytes = kCellLines * rm::kVgaLineBytes;

// The default palette of mode 12h.
constexpr uint8_t kBlack = 0, kDarkGrey = 8, kGrey = 7, kWhite = 15, kLightGreen = 10,
                  kLightRed = 12, kYellow = 14;

// The progress bar: columns kBarFirst up to kBarEnd of its row.
constexpr uint8_t kBarFirst = 10, kBarEnd = 70;
// The countdown's digits: eight cells by four rows each, at column 2.
constexpr uint8_t kBigScale = 4, kBigColumn = 2;

struct State {
  bool chinese = false;
  bool log = false;  // standard output is a file: the English goes there too
  uint8_t row = 0, column = 0;
  uint8_t colour = kGrey;
  uint8_t bar_row = 0;
  uint16_t bar_pixels = 0;  // filled as last drawn
  bool bar_drawn = false;
  uint8_t figures_end = 0;  // the column after the figures as last drawn
  uint8_t count_row = 0;
};
State screen;

// --- The catalogue's Chinese half, in the code segment ------------------

void CodeRead(const void* at, void* out, uint16_t size) {
  rm::FarRead(rm::PspSegment(), static_cast<uint16_t>(reinterpret_cast<uintptr_t>(at)), out, size);
}

void ChineseText(Msg m, char* out, size_t capacity) {
  out[0] = 0;
  if (static_cast<uint16_t>(m) >= zh::kTextCount || capacity == 0) return;
  const char* text = nullptr;
  CodeRead(&zh::kTexts[static_cast<uint16_t>(m)], &text, sizeof text);
  size_t n = 0;
  while (n + 1 < capacity) {
    char piece[16];
    CodeRead(text + n, piece, sizeof piece);
    for (char c : piece) {
      if (c == 0 || n + 1 >= capacity) {
        out[n] = 0;
        return;
      }
      out[n++] = c;
    }
  }
  out[n] = 0;
}

// The glyph of `code`: its width in cells (1 or 2), 0 where there is none.
// `bits` gets 16 rows of `width` bytes.
uint8_t Glyph(uint32_t code, uint8_t* bits) {
  if (code >= 0x20 && code <= 0x7E) {
    CodeRead(zh::kAscii[code - 0x20], bits, 16);
    return 1;
  }
  uint16_t low = 0, high = zh::kGlyphCount;
  while (low < high) {
    const uint16_t middle = static_cast<uint16_t>((low + high) / 2);
    uint16_t at = 0;
    CodeRead(&zh::kCodes[middle], &at, sizeof at);
    if (at == code) {
      uint8_t width = 0;
      CodeRead(&zh::kWidths[middle], &width, 1);
      uint8_t rows[32];
      CodeRead(zh::kGlyphs[middle], rows, sizeof rows);
      if (width == 8) {
        for (int i = 0; i < 16; ++i) bits[i] = rows[2 * i];
        return 1;
      }
      for (int i = 0; i < 32; ++i) bits[i] = rows[i];
      return 2;
    }
    if (at < code) {
      low = static_cast<uint16_t>(middle + 1);
    } else {
      high = middle;
    }
  }
  return 0;
}

// --- Drawing on the grid -------------------------------------------------

uint16_t CellOffset(uint8_t row, uint8_t column) {
  return static_cast<uint16_t>(row * kRowBytes + column);
}

// Cells `first` up to `end` of `row` back to black.
void ClearCells(uint8_t row, uint8_t first, uint8_t end) {
  for (uint16_t line = 0; line < kCellLines; ++line) {
    const uint16_t start = static_cast<uint16_t>(CellOffset(row, 0) + line * rm::kVgaLineBytes);
    for (uint8_t c = first; c < end; ++c) rm::VgaPaint(start + c, 0xFF, kBlack);
  }
}

void NewLine() {
  screen.column = 0;
  if (screen.row + 1 < kRows) {
    ++screen.row;
    return;
  }
  // Everything moves up a row; the last row is new.
  rm::VgaCopy(0, kRowBytes, static_cast<uint16_t>((kRows - 1) * kRowBytes));
  ClearCells(kRows - 1, 0, kColumns);
  if (screen.bar_row > 0) --screen.bar_row;
  if (screen.count_row > 0) --screen.count_row;
}

void DrawGlyph(uint8_t row, uint8_t column, const uint8_t* bits, uint8_t width) {
  for (uint16_t line = 0; line < kCellLines; ++line) {
    const uint16_t at = static_cast<uint16_t>(CellOffset(row, column) + line * rm::kVgaLineBytes);
    for (uint8_t i = 0; i < width; ++i) {
      const uint8_t ink = bits[line * width + i];
      rm::VgaPaint(at + i, static_cast<uint8_t>(~ink), kBlack);
      if (ink) rm::VgaPaint(at + i, ink, screen.colour);
    }
  }
}

// The next character of UTF-8 `text` at `*i`; a byte that does not begin
// a whole character comes as itself (and draws as "?").
uint32_t NextCharacter(const char* text, size_t* i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t lead = byte(*i);
  int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (lead < 0x80 || more == 0) {
    ++*i;
    return lead;
  }
  uint32_t code = lead & (0x3F >> more);
  for (int k = 1; k <= more; ++k) {
    if ((byte(*i + k) & 0xC0) != 0x80) {
      ++*i;
      return lead;
    }
    code = (code << 6) | (byte(*i + k) & 0x3F);
  }
  *i += static_cast<size_t>(more) + 1;
  return code;
}

void Draw(const char* text) {
  for (size_t i = 0; text[i];) {
    const uint32_t code = NextCharacter(text, &i);
    if (code == '\n') {
      NewLine();
      continue;
    }
    if (code == '\r') {
      screen.column = 0;
      continue;
    }
    uint8_t bits[32];
    uint8_t width = Glyph(code, bits);
    if (width == 0) width = Glyph('?', bits);
    if (screen.column + width > kColumns) NewLine();
    DrawGlyph(screen.row, screen.column, bits, width);
    screen.column = static_cast<uint8_t>(screen.column + width);
  }
}

// A rectangle of whole bytes: columns `first` up to `end`, pixel lines
// `top` up to `bottom` of `row`; `pixels` of it from the left in `fill`,
// the rest in `rest`.
void DrawBar(uint8_t row, uint8_t first, uint8_t end, uint16_t top, uint16_t bottom,
             uint16_t pixels, uint8_t fill, uint8_t rest) {
  for (uint16_t line = top; line < bottom; ++line) {
    const uint16_t start = static_cast<uint16_t>(CellOffset(row, 0) + line * rm::kVgaLineBytes);
    uint16_t left = pixels;
    for (uint8_t c = first; c < end; ++c) {
      const uint8_t filled = left >= 8 ? 0xFF : static_cast<uint8_t>(0xFF00 >> left);
      left = left >= 8 ? static_cast<uint16_t>(left - 8) : 0;
      if (filled) rm::VgaPaint(start + c, filled, fill);
      if (filled != 0xFF) rm::VgaPaint(start + c, static_cast<uint8_t>(~filled), rest);
    }
  }
}

// `digits` with each pixel of their 8x16 glyphs a kBigScale square, from
// `column` of `row` on; the cells of `cells_wide` columns are cleared first.
void DrawBigNumber(uint8_t row, uint8_t column, const char* digits, uint8_t cells_wide) {
  for (uint8_t r = 0; r < kBigScale; ++r) {
    ClearCells(static_cast<uint8_t>(row + r), column, static_cast<uint8_t>(column + cells_wide));
  }
  for (uint8_t d = 0; digits[d]; ++d) {
    uint8_t bits[32];
    Glyph(static_cast<uint8_t>(digits[d]), bits);
    const uint8_t left = static_cast<uint8_t>(column + d * kBigScale);
    for (uint16_t font_line = 0; font_line < kCellLines; ++font_line) {
      for (uint8_t b = 0; b < kBigScale; ++b) {
        // Two font pixels a byte: the high nibble for the left one.
        const uint8_t pair = static_cast<uint8_t>(bits[font_line] << (2 * b));
        const uint8_t mask =
            static_cast<uint8_t>(((pair & 0x80) ? 0xF0 : 0) | ((pair & 0x40) ? 0x0F : 0));
        if (mask == 0) continue;
        for (uint16_t k = 0; k < kBigScale; ++k) {
          const uint16_t line = static_cast<uint16_t>(font_line * kBigScale + k);
          const uint16_t at =
              static_cast<uint16_t>(CellOffset(row, 0) + line * rm::kVgaLineBytes + left + b);
          rm::VgaPaint(at, mask, kWhite);
        }
      }
    }
  }
}

void Decimal(uint32_t value, char* out) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  int k = 0;
  while (n) out[k++] = digits[--n];
  out[k] = 0;
}

// Room for a message with its arguments.
constexpr size_t kSentence = 400;

}  // namespace

void OpenScreen() {
  char language[4];
  const bool english = rm::GetEnvironment("ORVANE_LANG", language, sizeof language) &&
                       (language[0] | 0x20) == 'e' && (language[1] | 0x20) == 'n' &&
                       language[2] == 0;
  screen = State{};
  screen.log = !rm::OutputIsConsole();
  if (english || !rm::VgaPresent()) return;
  screen.chinese = true;
  rm::SetVideoMode(0x12);
}

bool ScreenIsChinese() { return screen.chinese; }

bool WritesEnglish() { return !screen.chinese || screen.log; }

void CloseScreen() {
  if (!screen.chinese) return;
  screen.chinese = false;
  rm::SetVideoMode(0x03);
}

void LoadText(Msg m, char* out, size_t capacity) {
  if (screen.chinese) {
    ChineseText(m, out, capacity);
  } else {
    FillText(EnglishText(m), nullptr, nullptr, out, capacity);
  }
}

void Say(Msg m, const char* first, const char* second) {
  char sentence[kSentence];
  if (WritesEnglish()) {
    FillText(EnglishText(m), first, second, sentence, sizeof sentence);
    rm::Print(sentence);
  }
  if (screen.chinese) {
    char pattern[kSentence];
    ChineseText(m, pattern, sizeof pattern);
    FillText(pattern, first, second, sentence, sizeof sentence);
    Draw(sentence);
  }
}

void SayWith(Msg m, Msg first, const char* second) {
  char sentence[kSentence];
  if (WritesEnglish()) {
    FillText(EnglishText(m), EnglishText(first), second, sentence, sizeof sentence);
    rm::Print(sentence);
  }
  if (screen.chinese) {
    char pattern[kSentence], words[80];
    ChineseText(m, pattern, sizeof pattern);
    ChineseText(first, words, sizeof words);
    FillText(pattern, words, second, sentence, sizeof sentence);
    Draw(sentence);
  }
}

void Show(const char* text) {
  if (WritesEnglish()) rm::Print(text);
  if (screen.chinese) Draw(text);
}

void ShowChar(char c) {
  const char text[2] = {c, 0};
  Show(text);
}

void SetTone(Tone tone) {
  switch (tone) {
    case Tone::kNormal:
      screen.colour = kGrey;
      break;
    case Tone::kTitle:
      screen.colour = kWhite;
      break;
    case Tone::kFailure:
      screen.colour = kLightRed;
      break;
    case Tone::kAdvice:
      screen.colour = kYellow;
      break;
    case Tone::kGood:
      screen.colour = kLightGreen;
      break;
  }
}

void BeginProgressBar(Msg label) {
  if (screen.column != 0) NewLine();
  // The bar's row and the figures' row below it.
  NewLine();
  screen.row = static_cast<uint8_t>(screen.row - 1);
  char text[40];
  ChineseText(label, text, sizeof text);
  Draw(text);
  screen.bar_row = screen.row;
  screen.bar_drawn = false;
  screen.figures_end = 0;
  NewLine();
}

void DrawProgressBar(uint32_t percent, const char* figures) {
  if (percent > 100) percent = 100;
  const uint16_t width = (kBarEnd - kBarFirst) * 8;
  const uint16_t pixels = static_cast<uint16_t>(width * percent / 100);
  // Only the bytes that change: the bar grows.
  uint8_t first = kBarFirst, end = kBarEnd;
  if (screen.bar_drawn && pixels >= screen.bar_pixels) {
    first = static_cast<uint8_t>(kBarFirst + screen.bar_pixels / 8);
    end = static_cast<uint8_t>(kBarFirst + (pixels + 7) / 8);
    if (end > kBarEnd) end = kBarEnd;
  }
  if (first < end) {
    DrawBar(screen.bar_row, first, end, 2, 14,
            static_cast<uint16_t>(pixels - (first - kBarFirst) * 8), kLightGreen, kDarkGrey);
  }
  screen.bar_pixels = pixels;
  screen.bar_drawn = true;
  char text[8];
  Decimal(percent, text);
  uint8_t length = 0;
  while (text[length]) ++length;
  text[length] = '%';
  text[length + 1] = 0;
  ClearCells(screen.bar_row, kBarEnd + 1, kColumns);
  const uint8_t row = screen.row, colour = screen.colour;
  screen.row = screen.bar_row;
  screen.column = kBarEnd + 1;
  screen.colour = kWhite;
  Draw(text);
  screen.row = static_cast<uint8_t>(screen.bar_row + 1);
  screen.column = kBarFirst;
  screen.colour = colour;
  Draw(figures);
  // What the longer figures before left beyond these.
  if (screen.row == screen.bar_row + 1 && screen.column < screen.figures_end) {
    ClearCells(screen.row, screen.column, screen.figures_end);
  }
  screen.figures_end = screen.column;
  screen.row = row;
  screen.column = 0;
}

void EndProgressBar() {
  screen.row = static_cast<uint8_t>(screen.bar_row + 1);
  screen.column = 0;
  NewLine();
}

void ShowCountdown(uint32_t seconds) {
  char digits[12];
  Decimal(seconds, digits);
  if (!screen.chinese || screen.log) {
    char sentence[40];
    FillText(EnglishText(Msg::kStartingIn), digits, nullptr, sentence, sizeof sentence);
    rm::Print(sentence);
  }
  if (!screen.chinese) return;
  if (screen.count_row == 0 || screen.count_row + kBigScale > kRows) {
    // Room for the digits below what is there.
    if (screen.column != 0) NewLine();
    for (uint8_t i = 0; i < kBigScale; ++i) NewLine();
    screen.count_row = static_cast<uint8_t>(screen.row - kBigScale);
    char text[40], sentence[40];
    ChineseText(Msg::kStartingIn, text, sizeof text);
    FillText(text, "", nullptr, sentence, sizeof sentence);
    screen.row = static_cast<uint8_t>(screen.count_row + kBigScale - 1);
    screen.column = kBigColumn + 2 * kBigScale + 1;
    Draw(sentence);
  }
  DrawBigNumber(screen.count_row, kBigColumn, digits, 2 * kBigScale);
}

void EndCountdown() {
  if (!screen.chinese || screen.log) rm::Print("\n");
  if (!screen.chinese) return;
  screen.row = static_cast<uint8_t>(screen.count_row + kBigScale - 1);
  screen.count_row = 0;
  NewLine();
}

}  // namespace orvane::dos
