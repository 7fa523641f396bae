// A module that answers later than its reply window, but within the
// retries: a reply must never be taken for the answer to a different
// request. Over UDP the sequence numbers guarantee it. On a serial line the
// frames carry no sequence and the sub-code is not echoed, so the exchange
// that took a reply behind silent attempts must drop their late replies
// before the next exchange of the same command starts waiting.
#include <gtest/gtest.h>

#include <string>

#include "LinkSim.h"
#include "Txxx847.h"

namespace {

constexpr uint8_t kAddress = 3;

class LateReplies : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(sim_.Start(true), ""); }
  void TearDown() override {
    if (DriverIsBound()) DriverDone(type_, handle_);
    sim_.Stop();
  }

  void OpenLink(TInterfaceType type) {
    type_ = type;
    intptr_t params[kInitParamCount] = {9};
    if (type == itDq2847) {
      params[0] = reinterpret_cast<intptr_t>(ip_.c_str());
      params[1] = sim_->UdpPort();
      params[2] = 40;
    }
    ASSERT_EQ(DriverInit(type, handle_, params), 0);
    ASSERT_EQ(DriverSetConfig(type, handle_, 115200, 5, 2), 0);
  }

  // Reads registers 0x3F and 0x3E in turn, as the address window does, with
  // the module `delayMs` late: every successful read must be the register
  // asked for, with its value. Returns how many reads were answered.
  int ReadRegistersOfALateModule(int delayMs) {
    sim_->AddFault({dqsim::FaultKind::kDelay, delayMs, -1});
    const auto registers = sim_->Snapshot(0).registers;
    int answered = 0;
    for (int round = 0; round < 3; ++round) {
      for (uint8_t reg : {0x3F, 0x3E}) {
        uint8_t b3 = 0, b4 = reg, b5 = reg, b6 = 0, b7 = 0, status = 0;
        TExchangeReply reply{};
        ModuleExchange(type_, handle_, kAddress, 102, 0, b3, b4, b5, b6, b7, status, reply);
        if (status != 0) continue;
        ++answered;
        EXPECT_EQ(int{b4}, int{reg}) << "the reply of another register's read";
        EXPECT_EQ(int{b6}, int{registers[reg]}) << "register " << int{reg};
      }
    }
    return answered;
  }

  const std::string ip_ = "127.0.0.1";
  LinkSim sim_;
  TInterfaceType type_ = itComPort;
  int32_t handle_ = 0;
};

TEST_F(LateReplies, OverUdpALateReplyIsNeverTakenForAnotherRequest) {
  OpenLink(itDq2847);
  ReadRegistersOfALateModule(50);  // beyond the 40 ms UDP timeout: the sequence numbers drop every reply
}

TEST_F(LateReplies, OnASerialLineALateReplyIsNeverTakenForAnotherRequest) {
  OpenLink(itComPort);
  // Beyond T_first (31 ms at 115200 Bd), within the retries.
  EXPECT_EQ(ReadRegistersOfALateModule(40), 6);
}

}  // namespace
