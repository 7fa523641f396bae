#include "Clock.h"

#include <time.h>

#include <climits>

namespace dqbus {

namespace {

class Steady final : public Clock {
 public:
  // The monotonic clock that std::chrono::steady_clock reads, without its
  // layers: it is read in every exchange.
  int64_t NowMicros() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
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
