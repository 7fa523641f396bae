// Monotonic time for the exchange engine and the transports; tests put a
// fake clock in its place.
#pragma once

#include <cstdint>

namespace dqbus {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowMicros() = 0;
};

// CLOCK_MONOTONIC in microseconds.
Clock& SteadyClock();

// Milliseconds from now to a deadline for poll(): rounded up, 0 once passed.
int PollTimeoutMs(Clock& clock, int64_t deadlineMicros);

}  // namespace dqbus
