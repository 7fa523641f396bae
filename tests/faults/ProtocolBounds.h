// Time bounds of one exchange, computed from the formulas of
// docs/protocol.md section 5 (not from the drivers' code), so that the
// fault tests measure the libraries against the document.
#pragma once

namespace faults {

// Wire time of n bytes at a rate, 10 bits a byte, rounded up to the
// microsecond; in milliseconds.
double WireMs(int bytes, int rate);

// Serial line: the reply must begin within T_first; an attempt ends at the
// latest at T_first + wire(71) + 20 ms; Send at (retries + 1) attempts.
double SerialFirstByteMs(int rate, int timingMs);
double SerialAttemptBoundMs(int rate, int timingMs);
double SerialSendBoundMs(int rate, int timingMs, int retries);

// LAN converter: one attempt waits max(UdpTimeout, wire(11) + wire(71) +
// timing + 20 ms); Send at most (retries + 1) attempts.
double LanMinimumMs(int rate, int timingMs);
double LanAttemptMs(int rate, int timingMs, int udpTimeoutMs);
double LanSendBoundMs(int rate, int timingMs, int udpTimeoutMs, int retries);

}  // namespace faults
