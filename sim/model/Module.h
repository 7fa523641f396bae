// One simulated DQ-7184/9 module: configuration registers, 32 inputs,
// 32 outputs, 32 pulse counters, the status register, the real-time clock
// and the recorded power failure. Execute() answers one bus request the way
// the module does; the rest is the device side that tests and the control
// interface drive. Not thread-safe; the simulator serialises all access.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/model/ConfigRegisters.h"
#include "sim/model/ModuleClock.h"
#include "Protocol.h"
#include "sim/model/SimTime.h"
#include "sim/model/Wiring.h"
#include "core/ModuleCommands.h"

namespace dqsim {

// Bits of the status register.
using dqcmd::kStatusErr24;
using dqcmd::kStatusFn;
using dqcmd::kStatusPrf;
using dqcmd::kStatusPwr;
using dqcmd::kStatusRst;

struct ModuleIdentity {
  std::string model = "DQ7184/9";  // sub-codes 0 and 1, four characters each
  std::string version = "1.03";    // sub-code 2
};

// Start and end of a power failure in module wall seconds; 0 = none.
struct PowerFailRecord {
  int64_t start = 0;
  int64_t end = 0;
};

class Module {
 public:
  // inputPattern: the inputs follow the moving pattern from power-up on;
  // otherwise they stay 0 until set.
  Module(const ConfigRegisters& registers, const ModuleIdentity& identity, const TimeSource& time,
         bool inputPattern = true);

  // ---- power ---------------------------------------------------------------
  // Power-up: the registers' address and baud-rate code become active, the
  // outputs take their initial states, counters are cleared and running,
  // the status register is cleared and PWR set (PRF too when a power
  // failure is recorded now, RST when the address or baud code changed).
  void PowerUp(const PowerFailRecord* failure = nullptr);
  // Power cycle with the power off for offSeconds (recorded as a power failure).
  void Restart(int64_t offSeconds = 0);
  // Reset without power loss: like a power-up, but sets RST instead of PWR
  // and records no power failure.
  void Reset();

  // ---- bus -----------------------------------------------------------------
  uint8_t ActiveAddress() const { return activeAddress_; }
  uint8_t ActiveBaudCode() const { return activeBaudCode_; }
  // Answers one request addressed to this module (the caller filters by
  // address and baud rate). Unknown commands and sub-codes get a status
  // byte with no data.
  dqbus::Reply Execute(const dqbus::Request& request);
  // Brings the input pattern and the counters up to the present.
  void Advance();

  // ---- inputs --------------------------------------------------------------
  uint32_t Inputs() const { return physicalInputs_ ^ registers_.DinNegation(); }  // as reported
  uint32_t PhysicalInputs() const { return physicalInputs_; }
  // Sets the physical inputs; turns the moving pattern off.
  void SetPhysicalInputs(uint32_t mask);
  void SetInputPattern(bool on);
  bool InputPatternOn() const { return patternOn_; }
  // count pulses on input DINchannel: count rising edges of the reported input.
  void Pulse(int channel, uint32_t count);

  // ---- outputs -------------------------------------------------------------
  uint32_t Outputs() const { return outputs_; }  // as written over the bus
  uint32_t PhysicalOutputs() const { return outputs_ ^ registers_.DoutNegation(); }
  // Cables from outputs to inputs; a wired input follows its driven output.
  void SetWiring(const Wiring& wiring);
  const Wiring& GetWiring() const { return wiring_; }

  // ---- counters ------------------------------------------------------------
  uint32_t Counter(int n) const { return counters_[n & 31]; }
  bool CountersRunning() const { return running_; }

  // ---- status register -----------------------------------------------------
  uint32_t StatusRegister() const { return status_ | conditions_; }
  void SetStatusBits(uint32_t mask) { status_ |= mask; }
  void ClearStatusBits(uint32_t mask) { status_ = (status_ & ~mask) | conditions_; }
  // A lasting condition (FN, ERR24): its bit reads 1 while the condition
  // lasts and stays latched after it ends until the register is cleared.
  void SetCondition(int bit, bool on);
  uint32_t Conditions() const { return conditions_; }

  // ---- clock, registers, identity -----------------------------------------
  ModuleClock& Clock() { return clock_; }
  const ModuleClock& Clock() const { return clock_; }
  const PowerFailRecord& PowerFail() const { return powerFail_; }
  void SetPowerFail(const PowerFailRecord& record) { powerFail_ = record; }
  ConfigRegisters& Registers() { return registers_; }
  const ConfigRegisters& Registers() const { return registers_; }
  const ModuleIdentity& Identity() const { return identity_; }
  // Four characters of identification sub-code 0, 1 or 2 (blank-padded).
  std::array<uint8_t, 4> IdentBytes(int subcode) const;

 private:
  void StartUp(bool powerLoss, const PowerFailRecord* failure);
  void ApplyInputs(uint32_t newPhysical);
  void CountEdges(uint32_t risingMask, uint32_t times = 1);
  dqbus::Reply Answer(const dqbus::Request& request);
  uint8_t ReadRegister(const dqbus::Request& request, dqbus::ReplyData& data) const;
  uint8_t WriteRegister(const dqbus::Request& request);

  const TimeSource& time_;
  ConfigRegisters registers_;
  ModuleIdentity identity_;
  ModuleClock clock_;
  PowerFailRecord powerFail_;

  bool poweredBefore_ = false;
  uint8_t activeAddress_ = 0;
  uint8_t activeBaudCode_ = dqcore::kDefaultBaudCode;

  bool patternOn_ = true;
  int64_t stepOrigin_ = 0;  // monotonic micros of step 0
  uint64_t step_ = 0;
  uint32_t physicalInputs_ = 0;
  uint32_t outputs_ = 0;
  Wiring wiring_;

  bool running_ = true;
  std::array<uint32_t, 32> counters_{};
  std::array<uint32_t, 4> prescalers_{};

  uint32_t status_ = 0;
  uint32_t conditions_ = 0;
};

}  // namespace dqsim
