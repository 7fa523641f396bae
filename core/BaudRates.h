// The nine baud rates of the module and the driver libraries. A rate's code
// (0-8) is the item index of every rate list, the value of the module's
// baud-rate register and the code carried in LAN datagrams.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>

namespace dqcore {

constexpr int kBaudCodeCount = 9;
constexpr uint32_t kBaudRates[kBaudCodeCount] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// Timing value (ms) the access layer hands to SetConfig with each rate.
constexpr uint8_t kBaudTimings[kBaudCodeCount] = {100, 100, 50, 25, 13, 7, 5, 5, 5};
constexpr uint8_t kDefaultBaudCode = 4;  // 9600 Bd

// -1 for a rate that is not one of the nine.
constexpr int BaudCodeOf(uint32_t rate) {
  for (int code = 0; code < kBaudCodeCount; ++code) {
    if (kBaudRates[code] == rate) return code;
  }
  return -1;
}

// Wire time of n bytes at a rate (10 bits per byte: start, 8 data, stop),
// in microseconds, rounded up; 0 for rate 0.
constexpr uint64_t WireTimeMicros(size_t bytes, uint32_t rate) {
  return rate == 0 ? 0 : (static_cast<uint64_t>(bytes) * 10u * 1000000u + rate - 1) / rate;
}

// termios speed of one of the nine rates; B0 for any other rate.
speed_t TermiosSpeedOf(uint32_t rate);
// Rate of a termios speed; 0 for a speed that is none of the nine.
uint32_t RateOfTermiosSpeed(speed_t speed);

}  // namespace dqcore
