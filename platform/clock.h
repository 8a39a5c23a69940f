// Time and sleeping as the launcher's bounded waits see them. The waits of
// server control count steps of one second or 100 ms; tests give a clock
// whose sleep returns at once (or shortened), so no test waits minutes.
// Default() is the machine's monotonic clock. Safe from any thread.
#pragma once

#include <chrono>

namespace platform {

class Clock {
 public:
  Clock() = default;
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;
  virtual ~Clock() = default;

  // Monotonic time.
  virtual std::chrono::steady_clock::time_point now() = 0;
  // Returns after `duration` has passed on this clock.
  virtual void sleepFor(std::chrono::milliseconds duration) = 0;

  static Clock& Default();
};

// Forwards every call; a test overrides what it needs.
class ClockWrapper : public Clock {
 public:
  explicit ClockWrapper(Clock& target) : target_(target) {}
  std::chrono::steady_clock::time_point now() override { return target_.now(); }
  void sleepFor(std::chrono::milliseconds duration) override { target_.sleepFor(duration); }

 private:
  Clock& target_;
};

}  // namespace platform
