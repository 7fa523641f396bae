// The link test against the simulator over UDP and the pseudo-terminal:
// each exchange is one attempt, so every reply a fault spoils is counted in
// its own class; the verdict follows its thresholds.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>

#include "InProcessSim.h"
#include "LinkTest.h"
#include "OpenLink.h"
#include "SimLink.h"
#include "Txxx847.h"

namespace {

using dqtest::Via;

constexpr uint8_t kAddr = 4;
constexpr int kComPort = 32;
// With one attempt an exchange has only its first window for the reply; at
// 2400 Bd that is over 100 ms, so a loaded machine does not turn a good
// exchange into "no reply".
constexpr uint8_t kBaudCode2400 = 2;

class LinkTestE2E : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override {
    dqsim::SimOptions options = dqtest::OneModule(kAddr, kComPort);
    options.baudCode = kBaudCode2400;
    ASSERT_EQ(sim_.Start(options), "");
    ASSERT_TRUE(dqtest::OpenSimLink(config_, GetParam(), GetParam() == Via::kUdp ? sim_->UdpPort() : kComPort, kAddr,
                                    kBaudCode2400));
  }
  void TearDown() override {
    CloseLink(config_);
    sim_.Stop();
  }

  dqtest::InProcessSim sim_;
  TConnectionConfig config_{};
};

TEST_P(LinkTestE2E, EverySpoiledReplyIsCountedInItsClass) {
  const bool udp = GetParam() == Via::kUdp;
  const struct {
    const char* fault;  // acts on the next 3 replies
    int32_t code;       // 0: no exchange fails
  } rows[] = {
      {"silence", 1},           {"corrupt-crc", 2},    {"wrong-address", 3},
      {"garbage", 4},           {"truncate", 5},       {"wrong-command", 6},
      {"oversize-count", 7},    {"status 5", 45},      {"oversize-extra", udp ? 7 : 0},
      {"duplicate", 0},         {"stale", 0},
  };
  constexpr int64_t kExchanges = 8, kSpoiled = 3;
  const dqcommission::ModuleLink link{config_.InterfaceType, config_.DriverHandle, kAddr};
  std::atomic<bool> stop{false};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    ASSERT_EQ(sim_->Control(std::string("fault ") + row.fault + " next " + std::to_string(kSpoiled)), "ok\n");
    const uint64_t requests = sim_->Stats().requests;
    dqcommission::LinkTestOptions options;
    options.count = kExchanges;
    options.request = dqcommission::LinkRequest::kInputs;
    const dqcommission::LinkTestReport report = dqcommission::RunLinkTest(link, config_.BaudRate, options, stop);
    ASSERT_EQ(sim_->Control("fault clear"), "ok\n");

    std::map<int32_t, int64_t> expected = {{0, kExchanges}};
    if (row.code != 0) expected = {{0, kExchanges - kSpoiled}, {row.code, kSpoiled}};
    EXPECT_EQ(report.outcomes, expected);
    EXPECT_EQ(sim_->Stats().requests - requests, static_cast<uint64_t>(kExchanges)) << "one attempt per exchange";
    EXPECT_EQ(report.setupError, 0);
  }
  // Afterwards the link retries again: a reply spoiled twice is hidden.
  ASSERT_EQ(sim_->Control("fault corrupt-crc next 2"), "ok\n");
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0xEE;
  TExchangeReply reply{};
  ModuleExchange(config_.InterfaceType, config_.DriverHandle, kAddr, 0, 64, b3, b4, b5, b6, b7, status, reply);
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, LinkTestE2E, ::testing::Values(Via::kUdp, Via::kPty),
                         [](const ::testing::TestParamInfo<Via>& info) { return dqtest::ViaName(info.param); });

TEST(LinkVerdict, ThresholdsOfGoodMarginalAndBad) {
  const struct {
    int64_t exchanges, successes;
    double p99Ms, floorMs;
    dqcommission::LinkVerdict verdict;
  } rows[] = {
      {10000, 10000, 54.0, 27.0, dqcommission::LinkVerdict::kGood},
      {10000, 9990, 30.0, 27.0, dqcommission::LinkVerdict::kGood},
      {10000, 9989, 30.0, 27.0, dqcommission::LinkVerdict::kMarginal},
      {10000, 10000, 54.1, 27.0, dqcommission::LinkVerdict::kMarginal},
      {10000, 9900, 30.0, 27.0, dqcommission::LinkVerdict::kMarginal},
      {10000, 9899, 30.0, 27.0, dqcommission::LinkVerdict::kBad},
      {0, 0, 0.0, 27.0, dqcommission::LinkVerdict::kBad},
  };
  for (const auto& row : rows) {
    dqcommission::LatencySummary latency;
    latency.any = row.successes > 0;
    latency.p99Ms = row.p99Ms;
    const dqcommission::Judgement judgement = dqcommission::JudgeLink(row.exchanges, row.successes, latency, row.floorMs);
    EXPECT_EQ(judgement.verdict, row.verdict) << row.successes << " of " << row.exchanges << ", p99 " << row.p99Ms
                                              << ": " << judgement.reason;
    EXPECT_FALSE(judgement.reason.empty());
  }
}

}  // namespace
