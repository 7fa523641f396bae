#include "LinkSim.h"

LinkSim::~LinkSim() { Stop(); }

std::string LinkSim::Start(bool udp) {
  rig_ = std::make_unique<dqtest::InProcessSim>();
  dqsim::SimOptions options;
  options.addresses = {3};
  options.baudCode = 8;
  options.comPort = 9;
  options.udp = udp;
  options.udpPort = 0;
  return rig_->Start(options);
}

void LinkSim::Stop() { rig_.reset(); }
