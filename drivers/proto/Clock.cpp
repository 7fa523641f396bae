#include "Clock.h"

#include <chrono>
#include <climits>

namespace dqbus {

namespace {

class Steady final : public Clock {
 public:
  int64_t NowMicros() override {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

Clock& SteadyClock() {
  static Steady clock;
  return clock;
}

int PollTimeoutMs(Clock& clock, int64_t deadlineMicros) {
  int64_t left = deadlineMicros - clock.NowMicros();
  if (left <= 0) return 0;
  int64_t ms = (left + 999) / 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace dqbus
