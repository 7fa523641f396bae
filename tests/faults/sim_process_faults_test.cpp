// The simulator as a separate process, stopped (SIGSTOP) or killed
// (SIGKILL) under the real windows and driver libraries, over UDP and over
// its pseudo-terminal mapped as COM9. The kernel closes a killed process's
// socket and pseudo-terminal as it would a crashed converter's or an
// unplugged adapter's; the windows must report it, stay responsive, and work
// again once the simulator runs again.
#include <gtest/gtest.h>

#include <signal.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>

#include "ChildSim.h"
#include "FaultRig.h"
#include "FaultSubjects.h"
#include "LibraryTexts.h"
#include "ResultTable.h"

namespace {

using faults::LinkKind;
using faults::Outcome;
using faults::WindowKind;

const auto* const g_printer = ::testing::AddGlobalTestEnvironment(
    new faults::ResultTablePrinter("Simulator process stopped or killed (dq7184-sim child process)"));

struct Param {
  int signal;  // SIGSTOP or SIGKILL
  LinkKind link;
  WindowKind window;
};

void PrintTo(const Param& param, std::ostream* out) {
  *out << (param.signal == SIGSTOP ? "SIGSTOP" : "SIGKILL") << ", " << faults::LinkName(param.link) << ", "
       << faults::WindowTag(param.window);
}

std::vector<Param> AllParams() {
  std::vector<Param> params;
  for (int signal : {SIGSTOP, SIGKILL}) {
    for (LinkKind link : {LinkKind::kUdp, LinkKind::kCom}) {
      for (WindowKind window : faults::kAllWindows) params.push_back({signal, link, window});
    }
  }
  return params;
}

std::string ParamName(const ::testing::TestParamInfo<Param>& info) {
  return std::string(info.param.signal == SIGSTOP ? "Stopped_" : "Killed_") +
         (info.param.link == LinkKind::kUdp ? "Udp_" : "Com_") + faults::WindowTag(info.param.window);
}

Outcome Expected(const Param& param, bool connectionWindow) {
  if (param.signal == SIGSTOP) return {1};  // nobody answers
  if (param.link == LinkKind::kUdp) return {22};  // ICMP port unreachable
  // The pseudo-terminal went away: an open link reports it, a new one
  // cannot be opened.
  return connectionWindow ? Outcome{13, true} : Outcome{10};
}

double ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

class SimProcessFaults : public ::testing::TestWithParam<Param> {
 protected:
  void SetUp() override {
    QApplication::setQuitOnLastWindowClosed(false);
    SetConnectionDefaults(&config_);
    std::string pattern = (std::filesystem::temp_directory_path() / "dq-faults-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    const std::string portMap = folder_ + "/ports.conf";
    setenv("DQ7184_PORTMAP", portMap.c_str(), 1);
    sim_ = std::make_unique<faults::ChildSim>(DQ_SIM_BINARY, folder_, portMap);
    std::string error;
    ASSERT_TRUE(sim_->Start(0, &error)) << error;
  }
  void TearDown() override {
    subject_.reset();
    faults::CloseLink(config_);
    sim_.reset();
    unsetenv("DQ7184_PORTMAP");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  TConnectionConfig config_{};
  std::string folder_;
  std::unique_ptr<faults::ChildSim> sim_;
  std::unique_ptr<faults::Subject> subject_;
};

TEST_P(SimProcessFaults, MessageBoundAndRecovery) {
  const Param param = GetParam();
  subject_ = faults::MakeSubject(param.window);
  faults::Subject& subject = *subject_;
  faults::ChildModuleView module(*sim_);
  const uint16_t udpPort = sim_->UdpPort();
  const faults::LinkTarget target{param.link, udpPort};

  if (subject.NeedsLink()) {
    ASSERT_EQ(faults::ConnectThroughWindow(config_, target), faults::ConnectedText());
  }
  subject.Open(config_, target);
  subject.MarkMessage();
  subject.Act();
  ASSERT_EQ(subject.Message(), subject.Success()) << "before the fault";

  const Outcome outcome = Expected(param, !subject.NeedsLink());
  const QString expected = subject.Expected(outcome);
  const double bound = faults::SendBoundMs(param.link);

  sim_->Process().Signal(param.signal);
  if (param.signal == SIGKILL) {
    sim_->Process().Reap();
    if (param.link == LinkKind::kCom) faults::NameGoneDevice(folder_ + "/ports.conf", folder_);
  }
  double worst = 0;
  QString shown;
  for (int round = 0; round < 2; ++round) {
    subject.MarkMessage();
    const auto start = std::chrono::steady_clock::now();
    subject.Act();
    const double elapsed = ElapsedMs(start);
    worst = std::max(worst, elapsed);
    shown = subject.Message();
    EXPECT_EQ(shown, expected) << "round " << round;
    EXPECT_LE(elapsed, bound * 1.25 + 250) << "round " << round;
    EXPECT_TRUE(subject.Polling()) << "round " << round;
  }

  std::string recovery;
  if (param.signal == SIGSTOP) {
    sim_->Process().Signal(SIGCONT);
    recovery = "SIGCONT, then ";
  } else {
    std::string error;
    ASSERT_TRUE(sim_->Start(udpPort, &error)) << error;
    recovery = param.link == LinkKind::kUdp ? "restarted on the same UDP port, then "
                                            : "restarted (a new pseudo-terminal as COM9), then ";
  }
  faults::WaitQuiet([this]() { return sim_->Stats(); });
  // The killed simulator's pseudo-terminal is gone; the library reopens the
  // new one that the port map names on a later exchange.
  recovery += std::string("next ") + subject.Action() + " works";

  subject.Prepare(module);
  subject.MarkMessage();
  subject.Act();
  EXPECT_EQ(subject.Message(), subject.Success()) << "after the fault";
  subject.CheckValues(module, config_);
  EXPECT_TRUE(subject.Polling());

  faults::AddRow({param.signal == SIGSTOP ? "dq7184-sim stopped (SIGSTOP)" : "dq7184-sim killed (SIGKILL)",
                  faults::LinkName(param.link), subject.Name(), shown.toStdString(), worst, bound, recovery});
}

INSTANTIATE_TEST_SUITE_P(Signals, SimProcessFaults, ::testing::ValuesIn(AllParams()), ParamName);

}  // namespace
