#include "Clock.h"

#include <time.h>

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

int PollUntil(pollfd* fds, nfds_t count, Clock& clock, int64_t deadlineMicros) {
  // The clock reads whole microseconds, rounded down, so the time left is
  // never short: the wait ends at the deadline or after it, never before.
  int64_t left = deadlineMicros - clock.NowMicros();
  if (left < 0) left = 0;
  const timespec timeout{static_cast<time_t>(left / 1000000), static_cast<long>(left % 1000000) * 1000};
  return ppoll(fds, count, &timeout, nullptr);
}

}  // namespace dqbus
