// dq7184-sim as a child process, as a user runs it: its pseudo-terminal
// entered as COM9 into the test's port map, UDP on 127.0.0.1, and a control
// socket through which the test reads and sets the module.
#pragma once

#include <cstdint>
#include <string>

#include "ChildProcess.h"
#include "ModuleView.h"
#include "sim/simulator/Simulator.h"

namespace faults {

class ChildSim {
 public:
  // binary: the dq7184-sim executable; folder: where its control socket goes.
  ChildSim(std::string binary, std::string folder, std::string portMap);

  // Starts it on the given UDP port (0: a free one) and waits for "ready".
  bool Start(uint16_t udpPort, std::string* error);
  ChildProcess& Process() { return process_; }
  uint16_t UdpPort() const { return udpPort_; }
  const std::string& PtyPath() const { return ptyPath_; }

  // One control line; the answer without its final "ok" (empty on error).
  std::string Control(const std::string& line);
  dqsim::SimStats Stats();

 private:
  std::string binary_;
  std::string control_;
  std::string portMap_;
  ChildProcess process_;
  uint16_t udpPort_ = 0;
  std::string ptyPath_;
};

// The module of a child simulator, through its control socket.
class ChildModuleView : public ModuleView {
 public:
  explicit ChildModuleView(ChildSim& sim) : sim_(sim) {}
  void SetInputs(uint32_t physical) override;
  void Pulse(int channel, uint32_t count) override;
  uint32_t Inputs() override;
  uint8_t Register(uint8_t reg) override;
  std::array<uint32_t, 32> Counters() override;

 private:
  ChildSim& sim_;
};

}  // namespace faults
