// dq7184-sim as a child process, as a user runs it: its pseudo-terminal
// entered as COM9 into a port map of the test's own (DQ7184_PORTMAP names
// it while the object lives), UDP on 127.0.0.1, and a control socket
// through which the test reads and sets the module.
#pragma once

#include <cstdint>
#include <string>

#include "ChildProcess.h"
#include "ModuleView.h"
#include "TempDir.h"
#include "sim/simulator/Simulator.h"

namespace faults {

class ChildSim {
 public:
  // binary: the dq7184-sim executable.
  explicit ChildSim(std::string binary);
  ~ChildSim();

  // Starts it on the given UDP port (0: a free one) and waits for "ready".
  bool Start(uint16_t udpPort, std::string* error);
  ChildProcess& Process() { return process_; }
  uint16_t UdpPort() const { return udpPort_; }
  const std::string& PtyPath() const { return ptyPath_; }
  // Points COM9 at a path that names no device (see FaultRig).
  void NameGoneDevice() const;

  // One control line; the answer without its final "ok" (empty on error).
  std::string Control(const std::string& line);
  dqsim::SimStats Stats();
  ModuleView Module() {
    return ModuleView([this](const std::string& line) { return Control(line); });
  }

 private:
  std::string binary_;
  dqtest::TempDir folder_;
  std::string control_;
  std::string portMap_;
  ChildProcess process_;
  uint16_t udpPort_ = 0;
  std::string ptyPath_;
};

}  // namespace faults
