// Monotonic time for the exchange engine and the transports; tests put a
// fake clock in its place.
#pragma once

#include <poll.h>

#include <cstdint>

namespace dqbus {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowMicros() = 0;
};

// CLOCK_MONOTONIC in microseconds.
Clock& SteadyClock();

// Waits for the events of fds until a deadline of the clock, to the
// microsecond (ppoll): a wait never ends more than the thread's wake-up
// after its deadline, where poll's whole milliseconds would add up to one
// per wait. Returns what ppoll returns: 0 once the deadline has passed.
int PollUntil(pollfd* fds, nfds_t count, Clock& clock, int64_t deadlineMicros);

}  // namespace dqbus
