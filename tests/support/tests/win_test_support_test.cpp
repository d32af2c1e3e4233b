// WaitUntilPainted on a window whose thread the test holds busy.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "system/unique_handle.h"
#include "tests/support/win_test_support.h"

namespace orvane::testing {
namespace {

constexpr UINT kHold = WM_APP;

// A top-level window with a child, on a thread of its own that Hold()
// keeps inside a message handler until Release().
class WindowOnItsThread {
 public:
  WindowOnItsThread() {
    thread_ = std::make_unique<BackgroundThread>([this] { Run(); });
    WaitForSingleObject(created_.get(), INFINITE);
  }
  ~WindowOnItsThread() {
    Release();
    PostMessageW(top_, WM_CLOSE, 0, 0);
    thread_.reset();
  }

  void Hold() {
    PostMessageW(top_, kHold, 0, 0);
    WaitForSingleObject(held_.get(), INFINITE);
  }
  void Release() { SetEvent(release_.get()); }

  HWND top() const { return top_; }
  HWND child() const { return child_; }
  // WM_PAINTs of the child, counted when EndPaint is done.
  int child_paints() const { return child_paints_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<WindowOnItsThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);  // still being created
    if (message == kHold) {
      SetEvent(self->held_.get());
      WaitForSingleObject(self->release_.get(), INFINITE);
      return 0;
    }
    if (message == WM_PAINT && window == self->child_) {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      FillRect(paint.hdc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      EndPaint(window, &paint);
      ++self->child_paints_;
      return 0;
    }
    if (message == WM_DESTROY && window == self->top_) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND Create(const wchar_t* class_name, DWORD style, HWND parent) {
    HWND window = CreateWindowExW(0, class_name, L"", style, 100, 10, 100, 80, parent, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return window;
  }

  void Run() {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = Procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = L"OrvanePaintWaitTest";
    RegisterClassExW(&window_class);  // fails harmlessly once registered
    top_ = Create(window_class.lpszClassName, WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr);
    child_ = Create(window_class.lpszClassName, WS_CHILD | WS_VISIBLE, top_);
    SetEvent(created_.get());
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  }

  unique_handle_t created_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  unique_handle_t held_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  unique_handle_t release_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  HWND top_ = nullptr;
  HWND child_ = nullptr;
  std::atomic<int> child_paints_{0};
  std::unique_ptr<BackgroundThread> thread_;
};

TEST(WaitUntilPaintedTest, ReturnsOnceTheBusyThreadHasPaintedEveryVisibleChild) {
  WindowOnItsThread window;
  ASSERT_TRUE(WaitUntilPainted(window.top()));

  window.Hold();
  const int paints_before = window.child_paints();
  bool painted = false;
  int paints_at_return = 0;
  {
    BackgroundThread waiter([&] {
      painted = WaitUntilPainted(window.top());
      paints_at_return = window.child_paints();
    });
    // The waiter has asked for the repaint; only then may the thread run.
    EXPECT_TRUE(WaitUntil([&] { return GetUpdateRect(window.child(), nullptr, FALSE) != 0; }));
    window.Release();
  }
  EXPECT_TRUE(painted);
  EXPECT_GT(paints_at_return, paints_before);
}

TEST(WaitUntilPaintedTest, GivesUpAtTheDeadlineWhileTheThreadStaysBusy) {
  WindowOnItsThread window;
  window.Hold();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitUntilPainted(window.top(), 300ms));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
}  // namespace orvane::testing
