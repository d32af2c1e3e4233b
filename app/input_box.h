// A modal input box: a prompt, a one-line text box, OK and Cancel.
#pragma once

#include <windows.h>

#include <string>

namespace orvane {

// Shows the input box over `owner` and returns the text typed, as typed;
// Cancel (or closing the box) gives empty text.
std::u16string InputBox(HWND owner, const std::u16string& prompt, const std::u16string& title);

}  // namespace orvane
