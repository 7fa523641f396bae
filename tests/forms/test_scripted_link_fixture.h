// Base of the window suites that run against the scripted driver: a scripted
// COM library bound for each test, an initialised record that uses it, and
// the requests the module was sent.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "FormsHarness.h"
#include "ScriptedDriver.h"
#include "Txxx847.h"

class ScriptedLinkTest : public ::testing::Test {
 protected:
  explicit ScriptedLinkTest(uint8_t moduleAddress) : moduleAddress_(moduleAddress) {}

  void SetUp() override {
    testdriver::Reset();
    config_ = harness::InitialisedConfig(itComPort, moduleAddress_);
    int32_t handle = 0;
    ASSERT_EQ(DriverInit(itComPort, handle, config_.InitParams), 0);
    config_.DriverHandle = handle;
  }
  void TearDown() override {
    int32_t handle = config_.DriverHandle;
    if (DriverIsBound()) DriverDone(itComPort, handle);
    testdriver::Reset();
  }

  // A window shown as the main window opens it.
  static void Open(QWidget& window) {
    window.show();
    harness::Settle();
  }
  static std::vector<std::array<uint32_t, 8>> Sent() { return testdriver::Requests(); }

  TConnectionConfig config_;

 private:
  uint8_t moduleAddress_;
};
