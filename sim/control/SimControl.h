// What the control commands act on: a simulator seen through the
// operations they need. The simulator's engine implements it; the
// commands run under the simulator's lock, so these calls take none.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/model/Faults.h"
#include "sim/model/Module.h"

namespace dqsim {

// A copy of one module's state, for display and tests.
struct ModuleSnapshot {
  uint8_t address = 0;          // active bus address
  uint8_t baudCode = 0;         // active baud-rate code
  std::array<uint8_t, 64> registers{};  // as stored (0x3E/0x3F may be pending)
  uint32_t inputs = 0;          // as reported (negation applied)
  uint32_t physicalInputs = 0;
  bool inputPattern = false;
  uint32_t outputs = 0;         // as written over the bus
  uint32_t physicalOutputs = 0;
  std::array<uint32_t, 32> counters{};
  bool countersRunning = false;
  uint32_t status = 0;
  uint32_t conditions = 0;
  int64_t clock = 0;            // module wall seconds
  int64_t clockOffset = 0;
  PowerFailRecord powerFail;
};

struct SimStats {
  uint64_t requests = 0;         // valid requests heard on any line
  uint64_t answered = 0;         // replies planned (before faults)
  uint64_t sent = 0;             // replies put on a line
  uint64_t silenced = 0;         // replies swallowed by a fault
  uint64_t otherAddress = 0;     // requests for an address no module has
  uint64_t wrongBaud = 0;        // requests at a rate the module does not use
  uint64_t badDatagrams = 0;     // UDP datagrams that carry no request
  uint64_t noiseBytes = 0;       // stream bytes that made no request
};

class SimControl {
 public:
  virtual ~SimControl() = default;

  // Where the simulator is reached; empty or 0 for what is closed.
  virtual std::string PtyPath() const = 0;
  virtual uint16_t UdpPort() const = 0;
  virtual std::string ControlPath() const = 0;

  // Modules, by index in the order of the options or the state file.
  virtual size_t ModuleCount() const = 0;
  virtual int FindModule(uint8_t address) const = 0;  // index at an active address, or -1
  virtual ModuleSnapshot Snapshot(size_t module) const = 0;
  virtual void SetInputs(size_t module, uint32_t physical) = 0;
  virtual void SetInputPattern(size_t module, bool on) = 0;
  virtual void Pulse(size_t module, int channel, uint32_t count) = 0;
  virtual uint8_t WriteRegister(size_t module, uint8_t reg, uint8_t value) = 0;  // the module status
  virtual void SetStatusBits(size_t module, uint32_t mask) = 0;
  virtual void ClearStatusBits(size_t module, uint32_t mask) = 0;
  virtual void SetCondition(size_t module, int bit, bool on) = 0;
  virtual void Restart(size_t module, int64_t offSeconds) = 0;
  virtual void Reset(size_t module) = 0;

  virtual void AddFault(const Fault& fault) = 0;
  virtual void ClearFaults() = 0;
  virtual void ClearFault(FaultKind kind) = 0;
  virtual std::vector<Fault> Faults() const = 0;
  virtual bool Disappear(const std::string& which, std::string* error) = 0;
  virtual bool Appear(std::string* error) = 0;

  virtual SimStats Stats() const = 0;
  virtual bool SaveState(std::string* error) = 0;
  virtual void RequestStop() = 0;
};

}  // namespace dqsim
