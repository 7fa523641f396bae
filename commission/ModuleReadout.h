// What the commissioning report shows of a module as it is now, read in
// one go over an open link: the configuration registers, the clock beside
// the PC's, the recorded power failure and the status register. Read only.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include "Dekl.h"

namespace dqcommission {

struct ModuleReadout {
  std::map<int, uint8_t> registers;  // register number -> value: 0-7, 0x20-0x2B, 0x3E, 0x3F
  bool clockRead = false;
  std::tm moduleClock{};  // the module's date and time, year rebuilt from the PC's
  std::tm pcClock{};      // the PC's local time, taken right after the module's
  long long clockDifference = 0;  // module minus PC, seconds
  bool powerFailRead = false;
  std::string powerFailStart;  // "d.m.yyyy h:mm:ss"; "none" when never recorded
  std::string powerFailEnd;
  bool statusRead = false;
  uint32_t statusRegister = 0;
  std::string error;  // the first failed exchange (what and the driver's text); empty when all went well

  uint32_t Mask(uint8_t baseRegister) const;  // a 32-bit mask of registers base + 3j
  uint16_t PulseNumber(int counter) const;
};

// Reads everything; the first failed exchange ends the reading (a module
// that stops answering costs one timeout, not one per value) and is named
// in `error`; what was read before stays.
ModuleReadout ReadModule(TConnectionConfig& link, uint8_t address);

}  // namespace dqcommission
