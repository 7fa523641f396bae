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

// The operations the control commands act on, each named once as
// X(result, name, (parameters), (arguments), qualifier). SimControl
// declares them, the simulator's engine implements them (without a lock)
// and Simulator runs each under its lock. Modules go by index, in the order
// of the options or the state file.
#define DQSIM_CONTROL_OPERATIONS(X)                                                              \
  /* Where the simulator is reached; empty or 0 for what is closed. */                           \
  X(std::string, PtyPath, (), (), const)                                                         \
  X(uint16_t, UdpPort, (), (), const)                                                            \
  X(std::string, ControlPath, (), (), const)                                                     \
  X(size_t, ModuleCount, (), (), const)                                                          \
  /* Index of the module answering at an active address, or -1. */                               \
  X(int, FindModule, (uint8_t address), (address), const)                                        \
  X(ModuleSnapshot, Snapshot, (size_t module), (module), const)                                  \
  /* Turns the input pattern off. */                                                             \
  X(void, SetInputs, (size_t module, uint32_t physical), (module, physical), )                   \
  X(void, SetInputPattern, (size_t module, bool on), (module, on), )                             \
  X(void, Pulse, (size_t module, int channel, uint32_t count), (module, channel, count), )       \
  /* As command 103 would; returns the module status byte. */                                    \
  X(uint8_t, WriteRegister, (size_t module, uint8_t reg, uint8_t value), (module, reg, value), ) \
  X(void, SetStatusBits, (size_t module, uint32_t mask), (module, mask), )                       \
  X(void, ClearStatusBits, (size_t module, uint32_t mask), (module, mask), )                     \
  X(void, SetCondition, (size_t module, int bit, bool on), (module, bit, on), )                  \
  /* A power cycle. */                                                                           \
  X(void, Restart, (size_t module, int64_t offSeconds = 0), (module, offSeconds), )              \
  X(void, Reset, (size_t module), (module), )                                                    \
  X(void, AddFault, (const Fault& fault), (fault), )                                             \
  X(void, ClearFaults, (), (), )                                                                 \
  X(void, ClearFault, (FaultKind kind), (kind), )                                                \
  X(std::vector<Fault>, Faults, (), (), const)                                                   \
  /* Closes lines (a driver sees its port vanish) and brings them back (a */                     \
  /* new pseudo-terminal path; the port map follows it). which: "pty", */                        \
  /* "serial", "udp" or "all". */                                                                \
  X(bool, Disappear, (const std::string& which, std::string* error), (which, error), )           \
  X(bool, Appear, (std::string* error), (error), )                                               \
  X(SimStats, Stats, (), (), const)                                                              \
  X(bool, SaveState, (std::string* error), (error), )

#define DQSIM_DECLARE_OPERATION(result, name, parameters, arguments, qualifier) \
  virtual result name parameters qualifier = 0;
#define DQSIM_OVERRIDE_OPERATION(result, name, parameters, arguments, qualifier) \
  result name parameters qualifier override;

class SimControl {
 public:
  virtual ~SimControl() = default;

  DQSIM_CONTROL_OPERATIONS(DQSIM_DECLARE_OPERATION)
  // Ends the loop; safe from a signal handler and without the lock.
  virtual void RequestStop() = 0;
};

}  // namespace dqsim
