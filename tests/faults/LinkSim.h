// An in-process simulator for link tests: one module at address 3 on
// 115200 Bd, offered as COM9 through a port map of its own (DQ7184_PORTMAP
// names it while the simulator runs), optionally also on UDP 127.0.0.1.
#pragma once

#include <memory>
#include <string>

#include "InProcessSim.h"

class LinkSim {
 public:
  LinkSim() = default;
  ~LinkSim();
  LinkSim(const LinkSim&) = delete;
  LinkSim& operator=(const LinkSim&) = delete;

  // Empty on success, otherwise why the simulator could not start.
  std::string Start(bool udp);
  // Stops the simulator and removes its folder and the environment entry.
  void Stop();

  dqsim::Simulator* operator->() { return &rig_->Sim(); }

 private:
  std::unique_ptr<dqtest::InProcessSim> rig_;
};
