#include "platform/clock.h"

#include <thread>

namespace platform {
namespace {

class SteadyClock final : public Clock {
 public:
  std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
  void sleepFor(std::chrono::milliseconds duration) override {
    std::this_thread::sleep_for(duration);
  }
};

}  // namespace

Clock& Clock::Default() {
  static SteadyClock clock;
  return clock;
}

}  // namespace platform
