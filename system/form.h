// A window object of the program as the utility classes see it: its
// window handle and its outer size in twips (1/1440 inch). A form is also
// a late-bound object whose "hWnd", "Width" and "Height" properties read
// the same values.
#pragma once

#include <windows.h>

#include "system/automation.h"

namespace orvane {

class Form : public LateBoundObject {
 public:
  virtual HWND hWnd() const = 0;
  // Outer width and height, frame included, in twips.
  virtual float Width() const = 0;
  virtual float Height() const = 0;

  Variant GetProperty(std::u16string_view name) override;
  void SetProperty(std::u16string_view name, const Variant& value) override;
};

// A picture object: its read-only "Handle" property is the image's
// handle (an icon, say) as a 32-bit integer. The picture does not own it.
class Picture : public LateBoundObject {
 public:
  explicit Picture(HANDLE handle) : handle_(handle) {}
  HANDLE Handle() const { return handle_; }

  Variant GetProperty(std::u16string_view name) override;
  void SetProperty(std::u16string_view name, const Variant& value) override;

 private:
  HANDLE handle_;
};

// The screen's dots per inch along one axis (LOGPIXELSX or LOGPIXELSY). A
// screen that reports none (no device context for it, as on a desktop the
// process may not draw on) is taken as 96, the resolution of every Windows
// XP desktop at its default setting.
int ScreenDotsPerInch(int axis);

// The outer size of `window` in twips at the screen's resolution.
float WindowWidthInTwips(HWND window);
float WindowHeightInTwips(HWND window);

}  // namespace orvane
