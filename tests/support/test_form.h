// A form for tests: a plain top-level window of this process whose
// reported Width and Height (twips) the test chooses.
#pragma once

#include <windows.h>

#include "system/form.h"

namespace orvane::testing {

class TestForm : public Form {
 public:
  // Creates a visible, captioned window of `width` x `height` pixels
  // (outer size) at (`x`, `y`); Width and Height report the same size in
  // twips until set otherwise.
  TestForm(int width = 320, int height = 200, int x = 100, int y = 100);
  TestForm(const TestForm&) = delete;
  TestForm& operator=(const TestForm&) = delete;
  ~TestForm() override;

  HWND hWnd() const override { return hwnd_; }
  float Width() const override { return width_twips_; }
  float Height() const override { return height_twips_; }
  void set_twips(float width, float height) {
    width_twips_ = width;
    height_twips_ = height;
  }

 private:
  HWND hwnd_ = nullptr;
  float width_twips_ = 0;
  float height_twips_ = 0;
};

// A form whose window handle cannot be read: hWnd raises ProgramError 438,
// as a failed property fetch would.
class BrokenForm : public Form {
 public:
  HWND hWnd() const override;
  float Width() const override { return 0; }
  float Height() const override { return 0; }
};

}  // namespace orvane::testing
