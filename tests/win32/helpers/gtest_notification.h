// Force-included into GoogleTest and the Windows tests (see CMakeLists.txt).
//
// GoogleTest 1.12's thread-safe build, which it always uses on Windows, needs
// std::mutex and std::condition_variable for one helper class, Notification.
// The win32-threads variant of mingw-w64 (GCC 12) has neither; the posix
// variant has them but links winpthread into every program, INSTALL.EXE too.
// GoogleTest lets a port supply the class itself (GTEST_HAS_NOTIFICATION_).
// Only GoogleTest's own threading tests use it, so a spinning flag will do.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : notified_(false) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing
