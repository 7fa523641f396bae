#include "core/BaudRates.h"

namespace dqcore {

namespace {

constexpr speed_t kSpeeds[kBaudCodeCount] = {B600, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};

}  // namespace

speed_t TermiosSpeedOf(uint32_t rate) {
  const int code = BaudCodeOf(rate);
  return code < 0 ? B0 : kSpeeds[code];
}

uint32_t RateOfTermiosSpeed(speed_t speed) {
  for (int code = 0; code < kBaudCodeCount; ++code) {
    if (kSpeeds[code] == speed) return kBaudRates[code];
  }
  return 0;
}

}  // namespace dqcore
