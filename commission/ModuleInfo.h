// Everything `info` shows about one module beyond its identification: the
// configuration, the clock and the recorded power failure, and the status
// register with its named bits.
#pragma once

#include <cstdint>
#include <string>

#include "Dekl.h"
#include "ModuleAccess.h"

namespace dqcommission {

// "FN", "PRF", "PWR", "RST", "ERR24" for the named bits; nullptr for the others.
const char* StatusBitName(int bit);

struct ModuleInfo {
  TModuleSetup setup{};
  uint32_t statusRegister = 0;
  std::string time, date;                // the module clock, h:mm:ss and d.m.yyyy
  std::string failStart, failEnd;        // "d.m.yyyy h:mm:ss" each
  bool powerFailRecorded = false;        // false when the module answered all zeros
};

struct InfoRead {
  uint8_t status = 0;  // 0 when everything was read
  std::string item;    // what was being read when it failed
};

InfoRead ReadModuleInfo(const ModuleAccess& module, ModuleInfo& info);

}  // namespace dqcommission
