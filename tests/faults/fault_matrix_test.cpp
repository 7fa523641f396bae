// The fault matrix end to end: every fault the simulator can inject, on
// both kinds of link (UDP on 127.0.0.1, and a pseudo-terminal mapped as a
// COM port), against each kind of window: the connection window's
// initialisation, a configuration read sequence, and two live windows'
// ticks. For each: the window shows the library's text for the fault, no
// faulty action blocks past the bound of docs/protocol.md, polling goes on,
// and once the fault is gone the next click or tick works again.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "FaultRig.h"
#include "FaultSubjects.h"
#include "LibraryTexts.h"
#include "ResultTable.h"

namespace {

using faults::FaultRig;
using faults::LinkKind;
using faults::Outcome;
using faults::Subject;
using faults::WindowKind;

const auto* const g_printer = ::testing::AddGlobalTestEnvironment(
    new faults::ResultTablePrinter("Fault matrix (in-process dq7184-sim, real windows and driver libraries)"));

// ---- faults ------------------------------------------------------------------

enum class Recovery {
  kClearFaults,  // the simulator answers properly again
  kRestartLoop,  // the stopped simulator runs again
  kLinesBack,    // the closed lines open again (a new pseudo-terminal)
};

struct FaultCase {
  const char* name;
  std::function<void(dqsim::Simulator&)> inject;
  Outcome udp;         // a window on an open UDP link
  Outcome com;         // a window on an open COM link
  Outcome connectUdp;  // the connection window, UDP
  Outcome connectCom;  // the connection window, COM
  Recovery recovery = Recovery::kClearFaults;
  bool simHears = true;  // the simulator still takes the requests in
  bool comOnly = false;
};

std::function<void(dqsim::Simulator&)> Always(dqsim::FaultKind kind, int arg = -1) {
  return [kind, arg](dqsim::Simulator& sim) { sim.AddFault({kind, arg, -1}); };
}

constexpr int kLateDelayMs = 400;  // well past every Send bound of the test links

const std::vector<FaultCase>& Faults() {
  using K = dqsim::FaultKind;
  static const std::vector<FaultCase> cases = {
      {"silence", Always(K::kSilence), {1}, {1}, {1}, {1}},
      {"one dropped reply", [](dqsim::Simulator& sim) { sim.AddFault({K::kSilence, -1, 1}); }, {0}, {0}, {0}, {0}},
      {"corrupted CRC", Always(K::kCorruptCrc), {2}, {2}, {2}, {2}},
      {"reply from another address", Always(K::kWrongAddress), {3}, {3}, {3}, {3}},
      {"reply to another command", Always(K::kWrongCommand), {6}, {6}, {6}, {6}},
      {"noise instead of a reply", Always(K::kGarbage), {4}, {4}, {4}, {4}},
      {"truncated frame", Always(K::kTruncate), {5}, {5}, {5}, {5}},
      {"oversized frame (count 200)", Always(K::kOversizeCount), {7}, {7}, {7}, {7}},
      // On a serial line the frame is whole and the bytes behind it are noise.
      {"8 extra bytes after the frame", Always(K::kOversizeExtra), {7}, {0}, {7}, {0}},
      {"reply 400 ms late", Always(K::kDelay, kLateDelayMs), {1}, {1}, {1}, {1}},
      {"error status 5 (busy)", Always(K::kErrorStatus), {45}, {45}, {45}, {45}},
      {"simulator stopped", [](dqsim::Simulator& sim) { sim.StopThread(); }, {1}, {1}, {1}, {1},
       Recovery::kRestartLoop, false},
      {"simulator killed (all lines closed)",
       [](dqsim::Simulator& sim) { sim.Disappear("all", nullptr); }, {22}, {10}, {22}, {13, true},
       Recovery::kLinesBack, false},
      {"pseudo-terminal closed under the open link",
       [](dqsim::Simulator& sim) { sim.Disappear("pty", nullptr); }, {0}, {10}, {0}, {13, true},
       Recovery::kLinesBack, false, true},
  };
  return cases;
}

// ---- the matrix ----------------------------------------------------------------

struct Param {
  size_t fault;
  LinkKind link;
  WindowKind window;
};

void PrintTo(const Param& param, std::ostream* out) {
  *out << Faults()[param.fault].name << ", " << faults::LinkName(param.link) << ", " << faults::WindowTag(param.window);
}

std::vector<Param> AllParams() {
  std::vector<Param> params;
  for (size_t f = 0; f < Faults().size(); ++f) {
    for (LinkKind link : {LinkKind::kUdp, LinkKind::kCom}) {
      if (Faults()[f].comOnly && link != LinkKind::kCom) continue;
      for (WindowKind window : faults::kAllWindows) params.push_back({f, link, window});
    }
  }
  return params;
}

std::string ParamName(const ::testing::TestParamInfo<Param>& info) {
  std::string name = std::string(info.param.link == LinkKind::kUdp ? "Udp_" : "Com_") +
                     faults::WindowTag(info.param.window) + "_";
  for (const char* c = Faults()[info.param.fault].name; *c != '\0'; ++c) {
    if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9')) name += *c;
  }
  return name;
}

double ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// Generous margin over the document's bound: this is a correctness bound
// (nothing hangs), not a speed target.
double Allowed(double boundMs) { return boundMs * 1.25 + 250; }

class FaultMatrix : public ::testing::TestWithParam<Param> {
 protected:
  void SetUp() override {
    QApplication::setQuitOnLastWindowClosed(false);
    SetConnectionDefaults(&config_);
    std::string error;
    ASSERT_TRUE(rig_.Start(&error)) << error;
  }
  void TearDown() override {
    subject_.reset();
    faults::CloseLink(config_);
  }

  TConnectionConfig config_{};
  FaultRig rig_;
  std::unique_ptr<Subject> subject_;
};

TEST_P(FaultMatrix, MessageBoundPollingAndRecovery) {
  const Param param = GetParam();
  const FaultCase& fault = Faults()[param.fault];
  const LinkKind link = param.link;
  subject_ = faults::MakeSubject(param.window);
  Subject& subject = *subject_;
  dqsim::Simulator& sim = rig_.Sim();
  faults::SimModuleView module(sim);
  const faults::LinkTarget target = rig_.Target(link);

  if (subject.NeedsLink()) {
    ASSERT_EQ(faults::ConnectThroughWindow(config_, target), faults::ConnectedText());
  }
  subject.Open(config_, target);
  subject.MarkMessage();
  subject.Act();
  ASSERT_EQ(subject.Message(), subject.Success()) << "before the fault";

  const Outcome outcome = !subject.NeedsLink() ? (link == LinkKind::kUdp ? fault.connectUdp : fault.connectCom)
                                               : (link == LinkKind::kUdp ? fault.udp : fault.com);
  const QString expected = subject.Expected(outcome);
  const double bound =
      faults::SendBoundMs(link) * (outcome.code == 0 ? subject.ExchangesPerAction() : 1);

  fault.inject(sim);
  if (fault.recovery == Recovery::kLinesBack && link == LinkKind::kCom) rig_.NameGoneDevice();
  double worst = 0;
  QString shown;
  for (int round = 0; round < 2; ++round) {
    const uint64_t heardBefore = sim.Stats().requests;
    subject.MarkMessage();
    const auto start = std::chrono::steady_clock::now();
    subject.Act();
    const double elapsed = ElapsedMs(start);
    worst = std::max(worst, elapsed);
    shown = subject.Message();
    EXPECT_EQ(shown, expected) << "round " << round;
    EXPECT_LE(elapsed, Allowed(bound)) << "round " << round << ", bound " << bound << " ms";
    EXPECT_TRUE(subject.Polling()) << "round " << round;
    if (fault.simHears && !outcome.atInit) {
      EXPECT_GT(sim.Stats().requests, heardBefore) << "round " << round;
    }
  }

  std::string recovery;
  switch (fault.recovery) {
    case Recovery::kClearFaults: sim.ClearFaults(); break;
    case Recovery::kRestartLoop: sim.StartThread(); break;
    case Recovery::kLinesBack: {
      std::string error;
      ASSERT_TRUE(sim.Appear(&error)) << error;
      break;
    }
  }
  rig_.WaitQuiet();
  // A port that vanished under the open link is reopened by the library on
  // a later exchange: the window recovers without a new initialisation.
  recovery += std::string("next ") + subject.Action() + " works";

  subject.Prepare(module);
  subject.MarkMessage();
  subject.Act();
  EXPECT_EQ(subject.Message(), subject.Success()) << "after the fault";
  subject.CheckValues(module, config_);
  EXPECT_TRUE(subject.Polling());

  faults::AddRow({fault.name, faults::LinkName(link), subject.Name(), shown.toStdString(), worst, bound, recovery});
}

INSTANTIATE_TEST_SUITE_P(AllFaults, FaultMatrix, ::testing::ValuesIn(AllParams()), ParamName);

}  // namespace
