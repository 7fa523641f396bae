// Time bounds of one exchange, computed from the formulas of
// docs/protocol.md section 5 (not from the drivers' code), so that the
// fault tests measure the libraries against the document.
#pragma once

#include <vector>

namespace faults {

// Wire time of n bytes at a rate, 10 bits a byte, rounded up to the
// microsecond; in milliseconds.
double WireMs(int bytes, int rate);

// Serial line: the reply must begin within T_first; an attempt ends at the
// latest at T_first + wire(73) + 20 ms; Send at (retries + 1) attempts.
// After a bad frame the attempt ends once the line was quiet for
// wire(2) + 20 ms.
double SerialFirstByteMs(int rate, int timingMs);
double SerialAttemptBoundMs(int rate, int timingMs);
double SerialSendBoundMs(int rate, int timingMs, int retries);
double SerialQuietGapMs(int rate);

// LAN converter: the UDP timeout bounds the whole exchange, retries
// included, but never below the bus time of the longest exchange (the LAN
// minimum, wire(13) + wire(73) + timing + 20 ms). Each attempt waits an
// even part of the time left, at least the LAN minimum; a retry starts only
// while the retry minimum (wire(13) + wire(9) + timing + 20 ms) is left.
double LanMinimumMs(int rate, int timingMs);
double LanRetryMinimumMs(int rate, int timingMs);
double LanSendBoundMs(int rate, int timingMs, int udpTimeoutMs);
// The windows of the attempts of a module that stays silent.
std::vector<double> LanAttemptWindowsMs(int rate, int timingMs, int udpTimeoutMs, int retries);

}  // namespace faults
