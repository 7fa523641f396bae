// The checkout end to end: the engine on a LAN link (the real library) to a
// simulated module with outputs cabled to inputs, answers given as text.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <sstream>
#include <string>

#include "OpenLink.h"
#include "InProcessSimLink.h"
#include "commission/Checkout.h"

namespace {

using dqcommission::CheckoutEnd;
using dqcommission::Verdict;

constexpr uint8_t kAddr = 3;

// Runs `action` once the prompts contain `trigger`: Ctrl+C, or a fault.
class AtPrompt : public std::stringbuf {
 public:
  AtPrompt(std::string trigger, std::function<void()> action) : trigger_(std::move(trigger)), action_(std::move(action)) {}

 protected:
  int sync() override {
    if (!trigger_.empty() && str().find(trigger_) != std::string::npos) {
      trigger_.clear();
      action_();
    }
    return 0;
  }

 private:
  std::string trigger_;
  std::function<void()> action_;
};

struct Row {
  const char* name;
  const char* wires;      // the simulator's cables
  const char* plan;       // the loopback plan
  uint32_t outputs, inputs, counters;
  uint32_t doutNegation, doutInitial;
  bool countersStopped;
  const char* answers;
  const char* stopAt;     // prompt text at which Ctrl+C (or the fault) comes; "" none
  const char* fault;      // a simulator fault given at stopAt instead of Ctrl+C
  CheckoutEnd end;
  const char* verdicts;   // "CHANNEL=verdict;..." that must hold
  bool written;           // the outputs were written (and so restored)
};

const Row kRows[] = {
    {"wired_all_pass", "DOUT0=DIN4,DOUT1=DIN5,DOUT2=DIN6", "DOUT0 DIN4\nDOUT1=DIN5\n# c\nDOUT2 DIN6\n", 0x7, 0x70,
     0x70, 0, 0, false, "yes\n", "", "", CheckoutEnd::kPassed,
     "DOUT0=pass;DOUT2=pass;DIN5=pass;CNT 6=pass", true},
    // "On" is the driven state: negated outputs are written 0 to drive them.
    {"negated_outputs_pass", "DOUT8=DIN0,DOUT9=DIN1", "DOUT8 DIN0\nDOUT9 DIN1\n", 0x300, 0x3, 0x3, 0x100, 0x200,
     true, "yes\nyes\n", "", "", CheckoutEnd::kPassed, "DOUT8=pass;DOUT9=pass;CNT 1=pass", true},
    {"broken_wire_fails_there", "DOUT0=DIN4,DOUT2=DIN6", "DOUT0 DIN4\nDOUT1 DIN5\nDOUT2 DIN6\n", 0x7, 0, 0, 0,
     0x5, false, "yes\n", "", "", CheckoutEnd::kFailed, "DOUT0=pass;DOUT1=fail;DOUT2=not checked", true},
    {"crossed_wire_fails", "DOUT0=DIN5,DOUT1=DIN4", "DOUT0 DIN4\nDOUT1 DIN5\n", 0x3, 0, 0, 0, 0, false, "yes\n",
     "", "", CheckoutEnd::kFailed, "DOUT0=fail", true},
    {"technician_answers", "", "", 0x7, 0, 0, 0x2, 0x1, false, "yes\nyes\nmaybe\nskip\nno\n", "",
     "", CheckoutEnd::kFailed, "DOUT0=pass;DOUT1=skipped;DOUT2=fail", true},
    {"ctrl_c_restores", "", "", 0x7, 0, 0, 0, 0x4, false, "yes\nyes\nyes\nyes\n", "Is DOUT1 on?",
     "", CheckoutEnd::kStopped, "DOUT0=pass;DOUT1=not checked", true},
    {"declined_writes_nothing", "", "", 0x7, 0, 0, 0, 0x6, false, "no\n", "", "", CheckoutEnd::kCancelled,
     "DOUT0=not checked", false},
    // A write whose replies are lost may have switched the output: it is set back all the same.
    {"lost_write_reply_restores", "", "", 0x1, 0, 0, 0, 0, false, "yes\n", "Start the checkout?",
     "fault silence next 3", CheckoutEnd::kLinkError, "DOUT0=not checked", true},
    {"stopped_counters_declined", "", "", 0, 0, 0x3, 0, 0, true, "yes\nno\n", "", "", CheckoutEnd::kPassed,
     "CNT 0=skipped;CNT 1=skipped", false},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class CheckoutE2E : public ::testing::TestWithParam<Row> {};

TEST_P(CheckoutE2E, EndsAsExpectedAndRestoresOutputs) {
  const Row& row = GetParam();
  dqtest::InProcessSim sim;
  dqsim::SimOptions options = dqtest::OneModule(kAddr);
  std::string why;
  ASSERT_TRUE(dqsim::Wiring::Parse(row.wires, options.wiring, &why)) << why;
  ASSERT_EQ(sim.Start(options), "");
  for (int j = 0; j < 4; ++j) {
    ASSERT_EQ(sim->WriteRegister(0, 0x22 + 3 * j, static_cast<uint8_t>(row.doutNegation >> (8 * j))), 0);
    ASSERT_EQ(sim->WriteRegister(0, 0x20 + 3 * j, static_cast<uint8_t>(row.doutInitial >> (8 * j))), 0);
  }
  sim->Restart(0, 0);  // the outputs take their initial states
  if (row.countersStopped) {
    sim->WithModule(0, [](dqsim::Module& m) {
      dqbus::Request stopCounters;
      stopCounters.command = 1;
      stopCounters.subcode = 112;
      m.Execute(stopCounters);
    });
  }
  const uint32_t before = sim->Snapshot(0).outputs;

  TConnectionConfig link;
  ASSERT_TRUE(dqtest::OpenSimLink(sim, kAddr, link));

  dqcommission::CheckoutOptions o;
  ASSERT_TRUE(o.loopback.Parse(row.plan, &why)) << why;
  o.outputs = row.outputs;
  o.inputs = row.inputs;
  o.counters = row.counters;
  o.settle = std::chrono::milliseconds(300);
  o.poll = std::chrono::milliseconds(5);
  std::atomic<bool> stop{false};
  AtPrompt prompts(row.stopAt, [&] {
    if (*row.fault != '\0') {
      sim->Control(row.fault);
    } else {
      stop = true;
    }
  });
  std::ostream out(&prompts);
  std::istringstream answers(row.answers);
  dqcommission::CheckoutResults r = dqcommission::RunCheckout(link, kAddr, o, answers, out, stop);
  CloseLink(link);

  EXPECT_EQ(r.end, row.end) << prompts.str();
  std::istringstream expected(row.verdicts);
  std::string item;
  while (std::getline(expected, item, ';')) {
    std::string channel = item.substr(0, item.find('='));
    auto c = std::find_if(r.channels.begin(), r.channels.end(), [&](auto& x) { return x.channel == channel; });
    ASSERT_NE(c, r.channels.end()) << channel;
    EXPECT_EQ(item, channel + "=" + dqcommission::VerdictName(c->verdict)) << prompts.str();
  }
  EXPECT_EQ(r.outputsWritten, row.written);
  EXPECT_EQ(r.outputsRestored, row.written);
  // Whatever happened, the module's outputs are back at its initial states.
  EXPECT_EQ(sim->Snapshot(0).outputs, row.doutInitial);
  EXPECT_EQ(before, row.doutInitial);
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckoutE2E, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
