// Baud-rate codes 0-8: the item index of every rate list and the value of
// the module's baud-rate register.
#include <cstdint>

#include "Dekl.h"
#include "core/BaudRates.h"

static_assert(kBaudCodeCount == dqcore::kBaudCodeCount);

namespace {

uint8_t KnownCode(uint8_t code) { return code < kBaudCodeCount ? code : dqcore::kDefaultBaudCode; }

}  // namespace

uint32_t BaudRateFromCode(uint8_t code) { return dqcore::kBaudRates[KnownCode(code)]; }

uint8_t BaudCodeFromRate(uint32_t rate) {
  const int code = dqcore::BaudCodeOf(rate);
  return code < 0 ? dqcore::kDefaultBaudCode : static_cast<uint8_t>(code);
}

uint8_t BaudTiming(uint8_t code) { return dqcore::kBaudTimings[KnownCode(code)]; }
