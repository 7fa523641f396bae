// The fault matrix end to end: every fault the simulator can inject, on
// both kinds of link (UDP on 127.0.0.1, and a pseudo-terminal mapped as a
// COM port), against each kind of window: the connection window's
// initialisation, a configuration read sequence, and two live windows'
// ticks. For each: the window shows the library's text for the fault, no
// faulty action blocks past the bound of docs/protocol.md, polling goes on,
// and once the fault is gone the next click or tick works again.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "FaultRig.h"
#include "LibraryTexts.h"
#include "LoopbackUdp.h"
#include "PortMap.h"
#include "ResultTable.h"
#include "WindowFaultTest.h"

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

class FaultMatrix : public faults::WindowFaultTest, public ::testing::WithParamInterface<Param> {
 protected:
  void SetUp() override {
    WindowFaultTest::SetUp();
    std::string error;
    ASSERT_TRUE(rig_.Start(&error)) << error;
  }

  FaultRig rig_;
};

TEST_P(FaultMatrix, MessageBoundPollingAndRecovery) {
  const Param param = GetParam();
  const FaultCase& fault = Faults()[param.fault];
  const LinkKind link = param.link;
  dqsim::Simulator& sim = rig_.Sim();
  faults::ModuleView module(sim);
  ASSERT_NO_FATAL_FAILURE(OpenWorking(param.window, rig_.Target(link)));
  Subject& subject = *subject_;

  const Outcome outcome = !subject.NeedsLink() ? (link == LinkKind::kUdp ? fault.connectUdp : fault.connectCom)
                                               : (link == LinkKind::kUdp ? fault.udp : fault.com);
  const QString expected = subject.Expected(outcome);
  const double bound =
      faults::SendBoundMs(link) * (outcome.code == 0 ? subject.ExchangesPerAction() : 1);

  fault.inject(sim);
  if (fault.recovery == Recovery::kLinesBack && link == LinkKind::kCom) rig_.NameGoneDevice();
  // The closed UDP port stays unused until the lines come back on it: in a
  // parallel run another test's socket could take it and swallow the
  // datagrams that must be refused, or keep the simulator from binding it
  // again (also on a COM row, where the simulator's UDP line closes too).
  std::optional<dqtest::ClosedUdpPort> closedPort;
  if (fault.recovery == Recovery::kLinesBack && !fault.comOnly) {  // every line closed
    closedPort.emplace(rig_.UdpPort());
    ASSERT_TRUE(closedPort->Held());
  }
  std::function<uint64_t()> heard;
  if (fault.simHears && !outcome.atInit) heard = [&sim]() { return sim.Stats().requests; };
  const faults::FaultyActions actions = ActUnderFault(expected, bound, heard);

  std::string recovery;
  switch (fault.recovery) {
    case Recovery::kClearFaults: sim.ClearFaults(); break;
    case Recovery::kRestartLoop: sim.StartThread(); break;
    case Recovery::kLinesBack: {
      std::string error;
      if (closedPort) closedPort->Release();
      ASSERT_TRUE(sim.Appear(&error)) << error;
      break;
    }
  }
  rig_.WaitQuiet();
  // A port that vanished under the open link is reopened by the library on
  // a later exchange: the window recovers without a new initialisation.
  recovery += std::string("next ") + subject.Action() + " works";

  CheckRecovered(module);

  faults::AddRow({fault.name, faults::LinkName(link), subject.Name(), actions.shown.toStdString(), actions.worstMs,
                  bound, recovery});
}

INSTANTIATE_TEST_SUITE_P(AllFaults, FaultMatrix, ::testing::ValuesIn(AllParams()), ParamName);

// ---- another module behind the reopened port ------------------------------------

class AnotherModule : public faults::WindowFaultTest {
 protected:
  void SetUp() override {
    WindowFaultTest::SetUp();
    std::string error;
    ASSERT_TRUE(rig_.Start(&error)) << error;
  }

  dqtest::InProcessSim other_;  // before the rig: the rig's port map is the one in force
  FaultRig rig_;
};

// While the link's module is away, COM9 is pointed at another simulator's
// pseudo-terminal (a "DQ7184/8" at the same address, as a second simulator
// started with the same --com): every tick shows the refusal, none the
// other module's inputs, also once the first module is back, until the
// link is initialised again.
TEST_F(AnotherModule, LiveInputsRefuseItUntilANewInitialisation) {
  const LinkKind link = LinkKind::kCom;
  faults::ModuleView module(rig_.Sim());
  ASSERT_NO_FATAL_FAILURE(OpenWorking(WindowKind::kInputsTick, rig_.Target(link)));
  dqsim::SimOptions options = dqtest::OneModule(faults::kModuleAddress, 0);
  options.pty = true;
  options.udp = false;
  options.baudCode = faults::kBaudCode;
  options.identity.model = "DQ7184/8";
  ASSERT_EQ(other_.Start(options), "");
  ASSERT_TRUE(rig_.Sim().Disappear("pty", nullptr));
  ASSERT_EQ(dqports::SetEntryIn(rig_.PortMap(), faults::kComPort, other_->PtyPath()), 0);
  subject_->Act();  // meets the hang-up of the port that went away
  EXPECT_EQ(subject_->Message(), subject_->Expected({10}));
  const double bound = 4 * faults::SendBoundMs(link);  // a Send that identifies first
  const faults::FaultyActions actions = ActUnderFault(subject_->Expected({28}), bound);
  EXPECT_GT(other_->Stats().requests, 0u) << "the link never reached the other module";

  ASSERT_TRUE(rig_.Sim().Appear(nullptr));
  subject_->Act();
  EXPECT_EQ(subject_->Message(), subject_->Expected({28})) << "the first module back";
  ASSERT_EQ(faults::ConnectThroughWindow(config_, rig_.Target(link)), faults::ConnectedText());
  CheckRecovered(module);
  faults::AddRow({"another module (DQ7184/8) behind the reopened COM9", faults::LinkName(link), subject_->Name(),
                  actions.shown.toStdString(), actions.worstMs, bound,
                  "refused while the first is back; next tick works after a new initialisation"});
}

}  // namespace
