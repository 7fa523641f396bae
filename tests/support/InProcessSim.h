// A simulated module running in this process, for the end-to-end tests and
// benchmarks: a scratch folder of its own holds the port map through which
// the COM library finds the simulator's pseudo-terminal (DQ7184_PORTMAP
// names it while the object lives), and the simulator serves UDP on
// 127.0.0.1 only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/NonCopyable.h"
#include "sim/simulator/Simulator.h"
#include "TempDir.h"

namespace dqtest {

class InProcessSim : dqcore::NonCopyable {
 public:
  InProcessSim();
  ~InProcessSim();

  // Opens the simulator with `options` (port map and UDP address set here)
  // and starts its thread. Empty on success, otherwise why it did not open.
  std::string Start(dqsim::SimOptions options, const dqsim::TimeSource* time = nullptr);
  // Stops and drops the simulator; the folder and the port map entry stay.
  void Stop();

  bool Running() const { return sim_ != nullptr; }
  dqsim::Simulator& Sim() { return *sim_; }
  dqsim::Simulator* operator->() { return sim_.get(); }
  const std::string& PortMap() const { return portMap_; }
  const TempDir& Folder() const { return folder_; }

 private:
  TempDir folder_;
  std::string portMap_;
  std::unique_ptr<dqsim::Simulator> sim_;
};

// One module at `address` answering over UDP on a port the system picks,
// its inputs still; with `comPort` > 0 also over a pseudo-terminal entered
// in the port map as that COM port.
dqsim::SimOptions OneModule(uint8_t address, int comPort = 0);

}  // namespace dqtest
