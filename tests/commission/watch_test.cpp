// The watch against the simulator over UDP and the pseudo-terminal: the
// CSV rows hold what the module reported, a failed sample holds the error
// and empty value cells, and a watch killed (SIGKILL) over and over leaves
// one header and whole rows only.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "InProcessSim.h"
#include "OpenLink.h"
#include "SimLink.h"
#include "TempDir.h"
#include "Watch.h"
#include "WatchCsv.h"

namespace {

using dqtest::Via;

constexpr uint8_t kAddr = 2;
constexpr int kComPort = 31;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

class WatchE2E : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override {
    ASSERT_EQ(sim_.Start(dqtest::OneModule(kAddr, kComPort)), "");
    port_ = GetParam() == Via::kUdp ? sim_->UdpPort() : kComPort;
  }
  void TearDown() override { sim_.Stop(); }

  dqtest::InProcessSim sim_;
  int port_ = 0;
};

TEST_P(WatchE2E, RowsHoldTheModulesValuesAndFailedSamplesOnlyTheError) {
  sim_->SetInputs(0, 0x12345678);
  sim_->Pulse(0, 5, 3);
  ASSERT_EQ(sim_->Control("status set 0x00010012"), "ok\n");
  const dqsim::ModuleSnapshot module = sim_->Snapshot(0);

  const struct {
    dqcommission::WatchSources sources;
    bool masks;
    const char* fault;
    int32_t error;
  } rows[] = {
      {{true, false, false}, false, "silence always", 1},
      {{false, true, false}, false, "corrupt-crc always", 2},
      {{true, false, true}, true, "status 5 always", 45},
      {{true, true, true}, false, "wrong-address always", 3},
  };
  TConnectionConfig config{};
  ASSERT_TRUE(dqtest::OpenSimLink(config, GetParam(), port_, kAddr));
  const dqcommission::ModuleLink link{config.InterfaceType, config.DriverHandle, kAddr};
  std::atomic<bool> stop{false};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.fault) + (row.masks ? ", masks" : ""));
    const dqtest::TempDir folder;
    dqcommission::WatchOptions options;
    options.sources = row.sources;
    options.masks = row.masks;
    options.csvPath = folder.File("watch.csv");
    options.count = 2;
    options.intervalMs = 1;
    std::ostringstream out, notes;
    // Two good samples, then two failed ones appended to the same file.
    ASSERT_FALSE(dqcommission::RunWatch(link, options, out, notes, stop).fileError);
    ASSERT_EQ(sim_->Control(std::string("fault ") + row.fault), "ok\n");
    const dqcommission::WatchResult failed = dqcommission::RunWatch(link, options, out, notes, stop);
    ASSERT_EQ(sim_->Control("fault clear"), "ok\n");
    EXPECT_EQ(failed.failedSamples, 2);

    // The expected cells of a good sample, from the module itself.
    dqcommission::WatchSample good;
    good.hasInputs = good.hasStatus = true;
    good.inputs = module.inputs;
    good.status = module.status;
    good.countersRead = 32;
    for (int n = 0; n < 32; ++n) good.counters[n] = module.counters[n];
    const std::vector<std::string> goodCells = Split(dqcommission::WatchCsvRow(good, row.sources, row.masks), ',');

    const std::vector<std::string> lines = Split(dqtest::ReadFile(options.csvPath), '\n');
    ASSERT_EQ(lines.size(), 6u);  // header, 2 good, 2 failed, the end
    const std::vector<std::string> header = Split(lines[0], ',');
    EXPECT_EQ(lines[0], dqcommission::WatchCsvHeader(row.sources, row.masks));
    for (size_t i = 1; i <= 4; ++i) {
      const std::vector<std::string> cells = Split(lines[i], ',');
      ASSERT_EQ(cells.size(), header.size()) << lines[i];
      EXPECT_EQ(cells[0].size(), 29u) << "ISO 8601 with milliseconds and offset: " << cells[0];
      const bool ok = i <= 2;
      for (size_t c = 2; c + 2 < cells.size(); ++c)
        EXPECT_EQ(cells[c], ok ? goodCells[c] : "") << header[c] << " in " << lines[i];
      EXPECT_EQ(cells[cells.size() - 2], ok ? "" : std::to_string(row.error));
      EXPECT_EQ(cells.back().empty(), ok) << lines[i];
    }
    EXPECT_EQ(lines[5], "");
  }
  CloseLink(config);
}

TEST_P(WatchE2E, KilledOverAndOverLeavesOneHeaderAndWholeRows) {
  const dqtest::TempDir folder;
  const std::string csv = folder.File("watch.csv");
  const std::string via = GetParam() == Via::kUdp ? "udp" : "pty";
  std::mt19937 random(7184);
  std::uniform_int_distribution<int> linesBeforeKill(1, 40), delayMicros(0, 3000);
  constexpr int kKills = 25;
  for (int kill = 0; kill < kKills; ++kill) {
    faults::ChildProcess watch;
    ASSERT_TRUE(watch.Start({DQ_WATCH_CHILD, via, std::to_string(port_), std::to_string(kAddr), csv}));
    std::string line;
    for (int n = linesBeforeKill(random); n > 0; --n) ASSERT_TRUE(watch.ReadLine(line, 10000)) << "kill " << kill;
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
    watch.Signal(SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(watch.Reap()));
  }
  // A watch that ends by itself after reopening the file once more.
  faults::ChildProcess last;
  ASSERT_TRUE(last.Start({DQ_WATCH_CHILD, via, std::to_string(port_), std::to_string(kAddr), csv, "3"}));
  const int status = last.Reap();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  const std::string content = dqtest::ReadFile(csv);
  ASSERT_FALSE(content.empty());
  EXPECT_EQ(content.back(), '\n');
  const std::vector<std::string> lines = Split(content, '\n');
  const std::string header = dqcommission::WatchCsvHeader({true, true, true}, false);
  ASSERT_EQ(lines[0], header);
  const size_t columns = Split(header, ',').size();
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    EXPECT_NE(lines[i], header) << "a second header at line " << i + 1;
    EXPECT_EQ(Split(lines[i], ',').size(), columns) << "line " << i + 1 << ": " << lines[i];
    EXPECT_EQ(lines[i].find('\0'), std::string::npos) << "line " << i + 1;
  }
  EXPECT_GE(lines.size(), static_cast<size_t>(kKills + 3));
}

INSTANTIATE_TEST_SUITE_P(Lines, WatchE2E, ::testing::Values(Via::kUdp, Via::kPty),
                         [](const ::testing::TestParamInfo<Via>& info) { return dqtest::ViaName(info.param); });

}  // namespace
