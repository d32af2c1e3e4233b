// What BF and HF show: the catalogue's messages in the user's language.
//
// Chinese is drawn in VGA mode 12h with the programs' own glyphs, on an
// 80x30 grid of 8x16 cells (a Chinese character takes two), white, grey
// and coloured on black. English is today's text through standard output.
// Chinese is chosen where INT 10h reports a colour VGA and the environment
// does not say ORVANE_LANG=EN. Where standard output goes to a file, the
// English text goes there as well, whatever the screen shows: a log.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "dos/engine/messages.h"

namespace orvane::dos {

// How a line stands out on the Chinese screen.
enum class Tone : uint8_t { kNormal, kTitle, kFailure, kAdvice, kGood };

// Chooses the language; for Chinese, switches to mode 12h.
void OpenScreen();
bool ScreenIsChinese();
// True when the English text goes to standard output: the English screen,
// or the log beside the Chinese one.
bool WritesEnglish();
// Back to text mode where the screen left it: before returning to DOS.
void CloseScreen();

// Says `m` with its "{}" filled by `first` and `second`.
void Say(Msg m, const char* first = nullptr, const char* second = nullptr);
// Says `m` with the text of `first` in the same language, and `second`.
void SayWith(Msg m, Msg first, const char* second = nullptr);
// Text as it stands (numbers, paths, program names).
void Show(const char* text);
void ShowChar(char c);
// The tone of what follows, until the next call.
void SetTone(Tone tone);
// The text of `m` in the screen's language, unfilled: an argument for
// another message.
void LoadText(Msg m, char* out, size_t capacity);

// The Chinese progress: the label, a bar that fills, the percent and a
// line of figures below. Only for the Chinese screen.
void BeginProgressBar(Msg label);
void DrawProgressBar(uint32_t percent, const char* figures);
void EndProgressBar();

// The countdown: "Starting in N s" in English, redrawn in place; a large
// number in Chinese. EndCountdown ends its line.
void ShowCountdown(uint32_t seconds);
void EndCountdown();

}  // namespace orvane::dos
