// The simulator's non-volatile memory: per module its configuration
// registers, clock offset and recorded power failure, plus the last time
// the simulator was running (a gap since then is a power failure).
//
// Text format, one "key value..." per line, '#' starts a comment line:
//   dq7184-sim-state 1
//   last-running 1767225600          PC time, seconds since the epoch (UTC)
//   module                           starts a module (factory values below)
//   address 0                        register 0x3F
//   baud-code 4                      register 0x3E, 0-8
//   pulse-numbers 1 1 1 1            registers 0-7, counters 0-3
//   din-negation 0x00000000          registers 0x21+3j
//   dout-negation 0x00000000         registers 0x22+3j
//   dout-initial 0x00000000          registers 0x20+3j
//   clock-offset 0                   seconds added to the PC's local time
//   power-fail 0 0                   start, end in module wall seconds (0 = none)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/model/ConfigRegisters.h"
#include "sim/model/Module.h"

namespace dqsim {

struct ModuleState {
  ConfigRegisters registers;
  int64_t clockOffset = 0;
  PowerFailRecord powerFail;
};

struct SimState {
  int64_t lastRunning = 0;  // 0 = never recorded
  std::vector<ModuleState> modules;
};

std::string FormatState(const SimState& state);
// error names the line at fault.
bool ParseState(const std::string& text, SimState& state, std::string* error);

// missing is set (and false returned) when the file does not exist.
bool LoadStateFile(const std::string& path, SimState& state, bool& missing, std::string* error);
bool SaveStateFile(const std::string& path, const SimState& state, std::string* error);

}  // namespace dqsim
