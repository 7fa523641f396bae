// ModuleExchange end to end: the link core loads the real COM-port and LAN
// libraries, which talk to a simulated module in this process over a
// pseudo-terminal (mapped as COM9) and over UDP on 127.0.0.1. Every
// catalogue command, and every fault the simulator can inject, as the
// program sees it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/ErrorCodes.h"
#include "InProcessSim.h"
#include "LoopbackUdp.h"
#include "PtyPair.h"
#include "sim/simulator/Simulator.h"
#include "Txxx847.h"

namespace {

constexpr uint8_t kAddr = 1;
constexpr int kComPort = 9;
constexpr int64_t kPcTime = 1767261600;  // 2026-01-01 10:00:00

enum class Via { kCom, kLan };

struct Result {
  uint8_t status = 0xEE;
  uint8_t b[5] = {};  // b3..b7 after the exchange
  TExchangeReply reply{};
};

class ExchangeE2E : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override {
    time_.SetPcSeconds(kPcTime);

    const std::string error = sim_.Start(dqtest::OneModule(kAddr, kComPort), &time_);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_EQ(Connect(9600), 0);
  }

  void TearDown() override {
    if (DriverIsBound()) DriverDone(Type(), handle_);
    sim_.Stop();
  }

  TInterfaceType Type() const { return GetParam() == Via::kCom ? itComPort : itDq2847; }

  int32_t Connect(int32_t rate) {
    intptr_t params[kInitParamCount] = {};
    if (GetParam() == Via::kCom) {
      params[0] = kComPort;
    } else {
      params[0] = reinterpret_cast<intptr_t>(ip_.c_str());
      params[1] = sim_->UdpPort();
      params[2] = 100;  // UDP timeout, ms
    }
    int32_t result = DriverInit(Type(), handle_, params);
    if (result != 0) return result;
    return DriverSetConfig(Type(), handle_, rate, 13, 2);
  }

  Result Ex(uint8_t command, uint8_t subcode, std::array<uint8_t, 5> params = {}, uint8_t address = kAddr) {
    Result r;
    std::copy(params.begin(), params.end(), r.b);
    ModuleExchange(Type(), handle_, address, command, subcode, r.b[0], r.b[1], r.b[2], r.b[3], r.b[4], r.status,
                   r.reply);
    return r;
  }
  static std::array<uint8_t, 4> B4(const Result& r) { return {r.b[1], r.b[2], r.b[3], r.b[4]}; }
  static std::string Text(const Result& r) { return std::string(r.b + 1, r.b + 5); }

  std::string ip_ = "127.0.0.1";
  dqsim::ManualTime time_;
  dqtest::InProcessSim sim_;
  int32_t handle_ = 0;
};

using Four = std::array<uint8_t, 4>;

TEST_P(ExchangeE2E, IdentificationAsTheConnectionWindowDoesIt) {
  Result r0 = Ex(200, 0);
  ASSERT_EQ(r0.status, 0);
  EXPECT_EQ(r0.b[0], 4);  // count
  Result r1 = Ex(200, 1, {r0.b[0], 0, 0, 0, 0});
  Result r2 = Ex(200, 2, {r1.b[0], 0, 0, 0, 0});
  EXPECT_EQ(Text(r0) + Text(r1) + " v." + Text(r2), "DQ7184/9 v.1.03");
}

TEST_P(ExchangeE2E, InputsOutputsAndCounters) {
  sim_->SetInputs(0, 0xFF800005);
  EXPECT_EQ(B4(Ex(0, 64)), (Four{0x05, 0x00, 0x80, 0xFF}));

  EXPECT_EQ(Ex(1, 64, {0, 0x01, 0x02, 0x00, 0x80}).status, 0);
  EXPECT_EQ(sim_->Snapshot(0).outputs, 0x80000201u);

  EXPECT_EQ(B4(Ex(0, 112)), (Four{255, 255, 255, 255}));
  sim_->Pulse(0, 5, 0x01020304);
  sim_->Pulse(0, 31, 7);
  Result group1 = Ex(202, 1);
  ASSERT_EQ(group1.status, 0);
  EXPECT_EQ(group1.b[0], 16);
  EXPECT_EQ(group1.reply.Words[4], 0x04u);  // CNT 5, least significant byte first
  EXPECT_EQ(group1.reply.Words[7], 0x01u);
  EXPECT_EQ(Ex(202, 7).reply.Words[12], 8u);  // CNT 31: 7 pulses and the rise of DIN31 above

  EXPECT_EQ(Ex(1, 112, {0, 0, 0, 0, 0}).status, 0);
  EXPECT_EQ(B4(Ex(0, 112)), (Four{0, 0, 0, 0}));
  EXPECT_EQ(Ex(1, 113, {0, 255, 255, 255, 255}).status, 0);
  EXPECT_EQ(Ex(202, 7).reply.Words[12], 0u);
  EXPECT_EQ(Ex(1, 112, {0, 255, 255, 255, 255}).status, 0);
  EXPECT_TRUE(sim_->Snapshot(0).countersRunning);
}

TEST_P(ExchangeE2E, StatusRegisterAndClock) {
  EXPECT_EQ(B4(Ex(100, 0)), (Four{0x10, 0, 0, 0}));  // PWR
  EXPECT_EQ(Ex(101, 0).status, 0);
  EXPECT_EQ(B4(Ex(100, 0)), (Four{0, 0, 0, 0}));
  sim_->SetCondition(0, dqsim::kStatusErr24, true);
  EXPECT_EQ(B4(Ex(100, 0)), (Four{0x40, 0, 0, 0}));

  EXPECT_EQ(B4(Ex(100, 1)), (Four{0, 0, 10, 0}));
  EXPECT_EQ(B4(Ex(100, 2)), (Four{1, 1, 2, 0}));
  EXPECT_EQ(Ex(101, 1, {0, 15, 30, 6, 0}).status, 0);
  EXPECT_EQ(Ex(101, 2, {0, 7, 12, 2, 0}).status, 0);
  EXPECT_EQ(B4(Ex(100, 1)), (Four{15, 30, 6, 0}));
  EXPECT_EQ(B4(Ex(100, 2)), (Four{7, 12, 2, 0}));
  EXPECT_EQ(Ex(101, 1, {0, 60, 0, 0, 0}).status, dqerr::kModuleBadValue);

  sim_->Restart(0, 90);
  EXPECT_EQ(B4(Ex(100, 3)), (Four{45, 28, 6, 0}));
  EXPECT_EQ(B4(Ex(100, 4)), (Four{7, 12, 2, 0}));
  EXPECT_EQ(B4(Ex(100, 5)), (Four{15, 30, 6, 0}));
  EXPECT_EQ(B4(Ex(100, 6)), (Four{7, 12, 2, 0}));
}

TEST_P(ExchangeE2E, RegistersWithReadBackAndRefusals) {
  for (uint8_t reg : {0, 7, 0x20, 0x2B, 0x3E}) {
    EXPECT_EQ(Ex(103, 0, {0, reg, reg, 3, 3}).status, 0) << int(reg);
    Result back = Ex(102, 0, {0, reg, reg, 3, 3});
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.b[3], 3) << int(reg);
  }
  EXPECT_EQ(Ex(103, 0, {0, 0x3E, 0x3E, 9, 9}).status, dqerr::kModuleBadValue);
  EXPECT_EQ(Ex(102, 0, {0, 0x30, 0x30, 0, 0}).status, dqerr::kModuleBadRegister);
  EXPECT_EQ(Ex(99, 0).status, dqerr::kModuleUnknownCommand);
  EXPECT_EQ(Ex(202, 8).status, dqerr::kModuleBadSubcode);
  Result failed = Ex(202, 8, {1, 2, 3, 4, 5});
  EXPECT_EQ(B4(failed), (Four{0, 0, 0, 0}));  // a failed exchange zeroes b3..b7
}

TEST_P(ExchangeE2E, NewAddressAnswersOnlyAfterAPowerCycle) {
  EXPECT_EQ(Ex(103, 0, {0, 0x3F, 0x3F, 7, 7}).status, 0);
  EXPECT_EQ(Ex(102, 0, {0, 0x3F, 0x3F, 7, 7}).b[3], 7);  // read back at the old address
  sim_->Restart(0);
  EXPECT_EQ(Ex(200, 0).status, dqerr::kTimeout);
  Result status = Ex(100, 0, {}, 7);
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(status.b[1], 0x34);  // PRF, PWR, RST
}

TEST_P(ExchangeE2E, ModuleAtAnotherRateOrAddressDoesNotAnswer) {
  EXPECT_EQ(Ex(200, 0, {}, 2).status, dqerr::kTimeout);
  ASSERT_EQ(DriverSetConfig(Type(), handle_, 19200, 7, 2), 0);
  EXPECT_EQ(Ex(200, 0).status, dqerr::kTimeout);
  ASSERT_EQ(DriverSetConfig(Type(), handle_, 9600, 13, 2), 0);
  EXPECT_EQ(Ex(200, 0).status, 0);
}

TEST_P(ExchangeE2E, EveryFaultHasItsOwnCode) {
  struct {
    const char* fault;
    int32_t code;
  } faults[] = {
      {"silence always", dqerr::kTimeout},
      {"corrupt-crc always", dqerr::kCrc},
      {"wrong-address always", dqerr::kForeignAddress},
      {"garbage always", dqerr::kMalformed},
      {"truncate always", dqerr::kTruncated},
      {"wrong-command always", dqerr::kEchoMismatch},
      {"oversize-count always", dqerr::kReplyTooLong},
      {"status 5 always", dqerr::kModuleBusy},
      {"status 6 always", dqerr::kModuleFailed},
      {"status 200 always", dqerr::kModuleStatusOther},
  };
  for (const auto& f : faults) {
    ASSERT_EQ(sim_->Control(std::string("fault ") + f.fault), "ok\n");
    Result r = Ex(200, 0, {0, 9, 9, 9, 9});
    EXPECT_EQ(r.status, f.code) << f.fault;
    EXPECT_EQ(B4(r), (Four{0, 0, 0, 0})) << f.fault;
    ASSERT_EQ(sim_->Control("fault clear"), "ok\n");
    EXPECT_EQ(Text(Ex(200, 0)), "DQ71") << "after " << f.fault;
  }
}

TEST_P(ExchangeE2E, OneShotFaultIsHiddenByTheRetry) {
  ASSERT_EQ(sim_->Control("fault corrupt-crc next 2"), "ok\n");
  EXPECT_EQ(Text(Ex(200, 0)), "DQ71");
  EXPECT_TRUE(sim_->Faults().empty());
}

TEST_P(ExchangeE2E, ReplyLaterThanTheDeadlineIsNoReply) {
  ASSERT_EQ(sim_->Control("fault delay 1000 always"), "ok\n");
  EXPECT_EQ(Ex(200, 0).status, dqerr::kTimeout);
}

TEST_P(ExchangeE2E, VanishingLine) {
  // What the simulator gives up stays unused until the checks are done: in a
  // parallel run another test's socket or pseudo-terminal could take it.
  if (GetParam() == Via::kCom) {
    dqtest::PtyNumberHold number(sim_->PtyPath());
    ASSERT_TRUE(number.Held());
    ASSERT_EQ(sim_->Control("disappear pty"), "ok\n");
    EXPECT_EQ(Ex(200, 0).status, dqerr::kPortVanished);
    DriverDone(Type(), handle_);
    EXPECT_EQ(Connect(9600), dqerr::kPortMissing);  // the map still names the old path
    ASSERT_NE(sim_->Control("appear").find("pty "), std::string::npos);
    ASSERT_EQ(Connect(9600), 0);
  } else {
    const uint16_t port = sim_->UdpPort();
    ASSERT_EQ(sim_->Control("disappear udp"), "ok\n");
    dqtest::ClosedUdpPort closed(port);
    ASSERT_TRUE(closed.Held());
    EXPECT_EQ(Ex(200, 0).status, dqerr::kConnRefused);
    ASSERT_NE(sim_->Control("appear").find("udp "), std::string::npos);
    DriverDone(Type(), handle_);
    ASSERT_EQ(Connect(9600), 0);  // the new port number
  }
  EXPECT_EQ(Text(Ex(200, 0)), "DQ71");
}

TEST(ExchangeE2ELan, DatagramWithBytesBeyondItsFrameIsTooLong) {
  dqsim::SimOptions options;
  options.addresses = {kAddr};
  options.pty = false;
  options.udpPort = 0;
  dqsim::Simulator sim(options);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  sim.StartThread();
  std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(ip.c_str()), sim.UdpPort(), 100};
  int32_t handle = 0;
  ASSERT_EQ(DriverInit(itDq2847, handle, params), 0);
  ASSERT_EQ(sim.Control("fault oversize-extra always"), "ok\n");
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0;
  TExchangeReply reply{};
  ModuleExchange(itDq2847, handle, kAddr, 200, 0, b3, b4, b5, b6, b7, status, reply);
  EXPECT_EQ(status, dqerr::kReplyTooLong);
  DriverDone(itDq2847, handle);
  sim.StopThread();
}

INSTANTIATE_TEST_SUITE_P(Libraries, ExchangeE2E, ::testing::Values(Via::kCom, Via::kLan),
                         [](const ::testing::TestParamInfo<Via>& info) {
                           return info.param == Via::kCom ? std::string("TCOM847") : std::string("TDQ2847");
                         });

}  // namespace
