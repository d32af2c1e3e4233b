// DoSkin, TopFrom and MoveFrom on real windows of the test process.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "system/form.h"
#include "system/qor_system.h"
#include "system/unique_handle.h"
#include "tests/support/common_test_support.h"
#include "tests/support/test_form.h"
#include "tests/support/win_test_support.h"

namespace orvane {
namespace {

using testing::BackgroundThread;
using testing::TestForm;
using testing::WaitUntil;

// The window's region, or null when it has none.
unique_hrgn WindowRegion(HWND window) {
  unique_hrgn region(CreateRectRgn(0, 0, 0, 0));
  if (GetWindowRgn(window, region.get()) == ERROR) return unique_hrgn();
  return region;
}

RECT RegionBox(HRGN region) {
  RECT box{};
  GetRgnBox(region, &box);
  return box;
}

// True when the regions cover the same pixels (EqualRgn also compares how
// the rows happen to be split into rectangles).
bool SamePixels(HRGN a, HRGN b) {
  unique_hrgn difference(CreateRectRgn(0, 0, 0, 0));
  return CombineRgn(difference.get(), a, b, RGN_XOR) == NULLREGION;
}

class DoSkinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ScreenDotsPerInch(LOGPIXELSX), 96) << "the expected sizes assume 15 twips per pixel";
  }
  QorSystem system_;
};

TEST_F(DoSkinTest, SizeInPixelsRoundsHalvesToEven) {
  struct Case {
    float width_twips;
    int width_pixels;
  };
  TestForm form(400, 300);  // a window takes Wine two seconds to destroy
  for (const Case& c : {Case{4815, 321}, Case{4822.5f, 322}, Case{4807.5f, 320}}) {
    form.set_twips(c.width_twips, 2407.5f);  // 160.5 pixels: 160
    system_.DoSkin(form, 20);
    unique_hrgn actual = WindowRegion(form.hWnd());
    ASSERT_TRUE(actual) << c.width_twips;
    unique_hrgn expected(CreateRoundRectRgn(0, 0, c.width_pixels, 160, 20, 20));
    EXPECT_TRUE(SamePixels(actual.get(), expected.get()))
        << c.width_twips << " twips: box right " << RegionBox(actual.get()).right;
  }
}

TEST_F(DoSkinTest, NoCornerEllipseGivesAPlainRectangle) {
  TestForm form(321, 200);
  system_.DoSkin(form, 0);
  unique_hrgn actual = WindowRegion(form.hWnd());
  ASSERT_TRUE(actual);
  RECT box{};
  EXPECT_EQ(GetRgnBox(actual.get(), &box), SIMPLEREGION);
  // A round-rectangle region leaves out its right and bottom edge, also
  // without corners.
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 320);
  EXPECT_EQ(box.bottom, 199);
}

TEST_F(DoSkinTest, ASizeBeyondThe32BitRangeOverflows) {
  TestForm form;
  form.set_twips(1e20f, 3000);
  EXPECT_EQ(testing::ErrorOf([&] { system_.DoSkin(form, 10); }), 6);
  EXPECT_FALSE(WindowRegion(form.hWnd()));
}

bool IsTopmost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

TEST(TopFromTest, TrueSetsTopmostFalseClearsItOtherValuesLeaveIt) {
  QorSystem system;
  TestForm form;
  ASSERT_FALSE(IsTopmost(form.hWnd()));
  system.TopFrom(form, 1);
  EXPECT_FALSE(IsTopmost(form.hWnd()));
  system.TopFrom(form, kTrue);
  EXPECT_TRUE(IsTopmost(form.hWnd()));
  system.TopFrom(form, 1);
  EXPECT_TRUE(IsTopmost(form.hWnd()));
  system.TopFrom(form, kFalse);
  EXPECT_FALSE(IsTopmost(form.hWnd()));
}

// Injects one mouse event at the screen point `at`.
void SendMouse(DWORD flags, POINT at) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof(input));
}

bool InMoveLoop(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMOVESIZE);
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

TEST(MoveFromTest, WindowFollowsThePointerUntilTheButtonIsReleased) {
  QorSystem system;
  TestForm form(240, 160, 500, 400);
  HWND window = form.hWnd();
  // Above the windows other tests may open meanwhile on the same screen.
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  const RECT start = WindowRect(window);
  const POINT grab = {start.left + 120, start.top + 100};  // the body, not the caption

  // Press the button over the window and take the press from the queue,
  // as a button-down handler would be called.
  SendMouse(MOUSEEVENTF_LEFTDOWN, grab);
  MSG message{};
  ASSERT_TRUE(WaitUntil([&] {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_LBUTTONDOWN && message.hwnd == window) return true;
      DispatchMessageW(&message);
    }
    return false;
  })) << "the press did not reach the window";

  const DWORD this_thread = GetCurrentThreadId();
  std::atomic<bool> returned = false;
  bool followed = false;
  bool released_while_in_loop = false;
  POINT pointer{};
  RECT during{};
  {
    BackgroundThread mouse([&] {
      if (WaitUntil([&] { return InMoveLoop(this_thread); }, std::chrono::seconds(5))) {
        SendMouse(0, {grab.x + 60, grab.y + 45});
        followed = WaitUntil(
            [&] {
              GetCursorPos(&pointer);
              during = WindowRect(window);
              return pointer.x != grab.x && during.left - start.left == pointer.x - grab.x &&
                     during.top - start.top == pointer.y - grab.y;
            },
            std::chrono::seconds(5));
        released_while_in_loop = !returned;
      }
      SendMouse(MOUSEEVENTF_LEFTUP, {grab.x + 60, grab.y + 45});
      // Should the loop miss the release, Escape ends it so the test cannot hang.
      if (!WaitUntil([&] { return returned.load(); }, std::chrono::seconds(5))) {
        INPUT escape{};
        escape.type = INPUT_KEYBOARD;
        escape.ki.wVk = VK_ESCAPE;
        SendInput(1, &escape, sizeof(escape));
      }
    });
    system.MoveFrom(form);
    returned = true;
  }
  EXPECT_TRUE(followed) << "pointer " << pointer.x << "," << pointer.y << " window " << during.left
                        << "," << during.top << " from " << start.left << "," << start.top;
  EXPECT_TRUE(released_while_in_loop) << "MoveFrom returned before the button was released";
  EXPECT_FALSE(InMoveLoop(this_thread));

  // Dropped where the pointer left it.
  EXPECT_EQ(WindowRect(window).left, during.left);
  EXPECT_EQ(WindowRect(window).top, during.top);
}

}  // namespace
}  // namespace orvane
