// The attempts of one exchange: what an attempt is, when it ends and when
// the next one starts. The exchange (Exchange.cpp) runs them; the transport
// is told which attempt it prepares rather than working it out.
//
// An attempt sends the request once, with a transaction number of its own,
// and waits for the reply until its deadline. It ends in one of the states
// of AttemptEnd. After a retryable end the next attempt starts at once,
// while attempts are left (settings.retries after the first) and, over a
// transport with an exchange bound (UDP), while time is left: the bound is
// shared among the attempts, each getting an even part of the time left,
// never less than its least window, and a retry starts only while at least
// the transport's retry minimum is left.
#pragma once

#include <cstdint>

#include "Clock.h"
#include "LinkSettings.h"

namespace dqbus {

class Transport;

enum class AttemptEnd {
  kReplied,  // the reply was taken (also one carrying a module status)
  kFailed,   // no valid reply in time, or a bad frame: the next attempt may start
  kFault,    // the port or the socket failed: the exchange ends at once
};

// The end of an attempt that returned a dqerr code.
AttemptEnd EndOf(int32_t code);

class AttemptPolicy {
 public:
  // Takes the exchange's start (with a bound) from the clock.
  AttemptPolicy(const Transport& transport, Clock& clock, const LinkSettings& settings);

  // Whether attempt `index` (0: the first) starts; if so, deadline is the
  // end of its window, or 0 when the transport's own reply window bounds
  // it (serial line).
  bool Starts(int index, int64_t& deadline);

  // Whether attempt `index` may begin by dropping what arrived before it
  // over a datagram transport (replies of earlier exchanges, a pending
  // socket error): only the first, since a retry may still take the late
  // reply of an earlier attempt of the same exchange.
  static bool DropsEarlierInput(int index) { return index == 0; }

 private:
  const Transport& transport_;
  Clock& clock_;
  const LinkSettings& settings_;
  int retries_;
  int64_t now_ = 0;
  int64_t end_ = 0;  // the exchange's bound as a time; 0 without one
};

}  // namespace dqbus
