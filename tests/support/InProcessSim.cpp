#include "InProcessSim.h"

#include <cstdlib>

namespace dqtest {

InProcessSim::InProcessSim() : portMap_(folder_.File("ports.conf")) {
  setenv("DQ7184_PORTMAP", portMap_.c_str(), 1);
}

InProcessSim::~InProcessSim() {
  Stop();
  unsetenv("DQ7184_PORTMAP");
}

std::string InProcessSim::Start(dqsim::SimOptions options, const dqsim::TimeSource* time) {
  Stop();
  options.portMapPath = portMap_;
  options.udpBind = "127.0.0.1";
  sim_ = std::make_unique<dqsim::Simulator>(options, time);
  std::string error;
  if (!sim_->Open(&error)) {
    sim_.reset();
    return error.empty() ? "the simulator did not open" : error;
  }
  sim_->StartThread();
  return {};
}

void InProcessSim::Stop() {
  if (!sim_) return;
  sim_->StopThread();
  sim_.reset();
}

dqsim::SimOptions OneModule(uint8_t address, int comPort) {
  dqsim::SimOptions options;
  options.addresses = {address};
  options.pty = comPort > 0;
  options.comPort = comPort;
  options.udp = true;
  options.udpPort = 0;
  options.inputPattern = false;
  return options;
}

}  // namespace dqtest
