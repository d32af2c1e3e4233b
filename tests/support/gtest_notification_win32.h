// GoogleTest's Notification for GCC's win32 thread model, which has no
// std::mutex or std::condition_variable: a manual-reset Win32 event.
// Forced into GoogleTest and every test of such a build (see the top-level
// CMakeLists.txt); GoogleTest uses it only to start threads of its own.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace testing::internal
