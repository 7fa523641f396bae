// The simulator as a separate process, stopped (SIGSTOP) or killed
// (SIGKILL) under the real windows and driver libraries, over UDP and over
// its pseudo-terminal mapped as COM9. The kernel closes a killed process's
// socket and pseudo-terminal as it would a crashed converter's or an
// unplugged adapter's; the windows must report it, stay responsive, and work
// again once the simulator runs again.
#include <gtest/gtest.h>

#include <signal.h>

#include <memory>
#include <optional>
#include <ostream>

#include "ChildSim.h"
#include "LoopbackUdp.h"
#include "ResultTable.h"
#include "WindowFaultTest.h"

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

class SimProcessFaults : public faults::WindowFaultTest, public ::testing::WithParamInterface<Param> {
 protected:
  void SetUp() override {
    WindowFaultTest::SetUp();
    sim_ = std::make_unique<faults::ChildSim>(DQ_SIM_BINARY);
    std::string error;
    ASSERT_TRUE(sim_->Start(0, &error)) << error;
  }
  void TearDown() override {
    WindowFaultTest::TearDown();
    sim_.reset();
  }

  std::unique_ptr<faults::ChildSim> sim_;
};

TEST_P(SimProcessFaults, MessageBoundAndRecovery) {
  const Param param = GetParam();
  faults::ModuleView module = sim_->Module();
  const uint16_t udpPort = sim_->UdpPort();
  ASSERT_NO_FATAL_FAILURE(OpenWorking(param.window, {param.link, udpPort}));
  faults::Subject& subject = *subject_;

  const Outcome outcome = Expected(param, !subject.NeedsLink());
  const QString expected = subject.Expected(outcome);
  const double bound = faults::SendBoundMs(param.link);

  sim_->Process().Signal(param.signal);
  // The killed simulator's UDP port stays unused until it is restarted on it.
  std::optional<dqtest::ClosedUdpPort> closedPort;
  if (param.signal == SIGKILL) {
    sim_->Process().Reap();
    if (param.link == LinkKind::kCom) sim_->NameGoneDevice();
    if (param.link == LinkKind::kUdp) {
      closedPort.emplace(udpPort);
      ASSERT_TRUE(closedPort->Held());
    }
  }
  const faults::FaultyActions actions = ActUnderFault(expected, bound);

  std::string recovery;
  if (param.signal == SIGSTOP) {
    sim_->Process().Signal(SIGCONT);
    recovery = "SIGCONT, then ";
  } else {
    std::string error;
    if (closedPort) closedPort->Release();
    ASSERT_TRUE(sim_->Start(udpPort, &error)) << error;
    recovery = param.link == LinkKind::kUdp ? "restarted on the same UDP port, then "
                                            : "restarted (a new pseudo-terminal as COM9), then ";
  }
  faults::WaitQuiet([this]() { return sim_->Stats(); });
  // The killed simulator's pseudo-terminal is gone; the library reopens the
  // new one that the port map names on a later exchange.
  recovery += std::string("next ") + subject.Action() + " works";

  CheckRecovered(module);

  faults::AddRow({param.signal == SIGSTOP ? "dq7184-sim stopped (SIGSTOP)" : "dq7184-sim killed (SIGKILL)",
                  faults::LinkName(param.link), subject.Name(), actions.shown.toStdString(), actions.worstMs, bound,
                  recovery});
}

INSTANTIATE_TEST_SUITE_P(Signals, SimProcessFaults, ::testing::ValuesIn(AllParams()), ParamName);

}  // namespace
