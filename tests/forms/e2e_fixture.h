// Base of the window suites against the real LAN library: a simulated
// module at address 3 in this process, and the link to it opened as the
// connection window leaves it for the converter (UDP on 127.0.0.1).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "InProcessSim.h"
#include "OpenLink.h"
#include "Txxx847.h"
#include "sim/simulator/Simulator.h"

class SimLinkTest : public ::testing::Test {
 protected:
  static constexpr uint8_t kSimAddress = 3;

  // Starts the simulator (on `time` when given) and opens the link.
  void StartAndConnect(const dqsim::TimeSource* time = nullptr) {
    const std::string error = sim_.Start(dqtest::OneModule(kSimAddress), time);
    ASSERT_TRUE(error.empty()) << error;
    SetConnectionDefaults(&config_);
    config_.InterfaceType = itDq2847;
    config_.IpAddress = "127.0.0.1";
    config_.UdpPort = sim_->UdpPort();
    config_.UdpTimeout = 200;
    PackInitParams(config_);
    const TLinkOutcome link = OpenLink(config_, kSimAddress, BaudCodeFromRate(9600));
    ASSERT_TRUE(link.Opened()) << link.Text;
  }
  void TearDown() override {
    int32_t handle = config_.DriverHandle;
    if (DriverIsBound()) DriverDone(itDq2847, handle);
    sim_.Stop();
  }

  dqtest::InProcessSim sim_;
  TConnectionConfig config_;
};
