// Baud-rate codes 0-8: the item index of every rate list and the value of
// the module's baud-rate register.
#include <cstdint>

#include "Dekl.h"

namespace {

struct BaudEntry {
  uint32_t rate;
  uint8_t timing;  // handed to the library's SetConfig with the rate
};

constexpr BaudEntry kBaudTable[kBaudCodeCount] = {
    {600, 100}, {1200, 100}, {2400, 50}, {4800, 25}, {9600, 13},
    {19200, 7}, {38400, 5},  {57600, 5}, {115200, 5},
};

constexpr uint8_t kFallbackCode = 4;  // 9600 Bd

}  // namespace

uint32_t BaudRateFromCode(uint8_t code) {
  return kBaudTable[code < kBaudCodeCount ? code : kFallbackCode].rate;
}

uint8_t BaudCodeFromRate(uint32_t rate) {
  for (uint8_t code = 0; code < kBaudCodeCount; ++code) {
    if (kBaudTable[code].rate == rate) return code;
  }
  return kFallbackCode;
}

uint8_t BaudTiming(uint8_t code) {
  return kBaudTable[code < kBaudCodeCount ? code : kFallbackCode].timing;
}
