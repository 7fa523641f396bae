// A reply is only ever taken for the request it answers, whatever its
// lateness, duplication or order, on a serial line and over UDP: every
// attempt carries its own transaction number and the reply echoes it.
//
// Each row injects one fault pattern into the simulator and reads, in turn,
// the two configuration registers 0x3E/0x3F (distinct values), the inputs
// and the eight counter groups (32 distinct counts), then clears the fault
// and goes on reading while the late replies of this row and the earlier
// ones still arrive; at the end reads go on until the latest has come.
// Every read that succeeds is compared with what the module really holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "LinkSim.h"
#include "Txxx847.h"

namespace {

constexpr uint8_t kAddress = 3;
constexpr uint32_t kInputs = 0x5AA50FF0u;
// 115200 Bd (the simulator's rate): the serial reply window T_first is
// 31.1 ms, a silent Send 93 ms. UDP: the timeout of 100 ms is shared by
// three attempts of 33.3 ms.
constexpr int kUdpTimeoutMs = 100;

struct Pattern {
  std::string name;
  std::vector<dqsim::Fault> faults;  // each `always`
  bool allAnswered;                  // every read under the fault succeeds
  int lateMs;                        // how long replies may still come after the fault ends
};

// {kind, arg, remaining}
dqsim::Fault Always(dqsim::FaultKind kind, int arg = -1) { return {kind, arg, -1}; }

using K = dqsim::FaultKind;

// The delays that matter on a link: one still in time, one taken in the
// next attempt, one beyond the whole exchange.
struct LinkDelays {
  int inTime;
  const char* inTimeWhy;
  int retried;
  const char* retriedWhy;
  int beyond;
};
constexpr LinkDelays kSerialDelays{25, "just within the reply window", 40, "beyond the window, taken in the retry",
                                   120};
constexpr LinkDelays kUdpDelays{20, "within the first attempt", 45, "beyond the first attempt, taken in the second",
                                150};

std::vector<Pattern> PatternsFor(const LinkDelays& d) {
  auto delay = [](int ms, const char* why) { return "delay " + std::to_string(ms) + ": " + why; };
  return {
      {"on time", {}, true, 0},
      {delay(d.inTime, d.inTimeWhy), {Always(K::kDelay, d.inTime)}, true, d.inTime},
      {delay(d.retried, d.retriedWhy), {Always(K::kDelay, d.retried)}, true, d.retried},
      {"delay 2000", {Always(K::kDelay, 2000)}, false, 2000},
      {"delay 400", {Always(K::kDelay, 400)}, false, 400},
      {delay(d.beyond, "beyond the whole exchange"), {Always(K::kDelay, d.beyond)}, false, d.beyond},
      {"every reply doubled", {Always(K::kDuplicate)}, true, 0},
      {"every reply doubled 50 ms later", {Always(K::kDuplicate, 50)}, true, 50},
      {"doubled 200 ms later behind a delay " + std::to_string(d.retried),
       {Always(K::kDuplicate, 200), Always(K::kDelay, d.retried)}, true, 200 + d.retried},
      {"the previous reply again ahead of each", {Always(K::kStale)}, true, 0},
      {"late and out of order", {Always(K::kStale), Always(K::kDelay, d.beyond), Always(K::kDuplicate, 30)}, false,
       d.beyond + 30},
  };
}

struct Tally {
  int reads = 0;
  int answered = 0;
  int wrong = 0;     // answered with a value the module does not hold for that request
  // failed as "reply from another address" or "reply to another command":
  // a whole frame of another request was taken for one of this exchange
  int misread = 0;
};

class LateReplies : public ::testing::TestWithParam<TInterfaceType> {
 protected:
  void SetUp() override {
    ASSERT_EQ(sim_.Start(LinkSimOptions(true)), "");
    sim_->SetInputs(0, kInputs);  // also stops the moving pattern, so the counters stay
    for (int n = 0; n < 32; ++n) sim_->Pulse(0, n, static_cast<uint32_t>(1000 * n + 17));
    module_ = sim_->Snapshot(0);
    ASSERT_NE(module_.registers[0x3E], module_.registers[0x3F]);
    ASSERT_TRUE(link_.Open(GetParam(), sim_->UdpPort(), kUdpTimeoutMs));
    patterns_ = PatternsFor(GetParam() == itDq2847 ? kUdpDelays : kSerialDelays);
  }

  // Read number i of the cycle: register 0x3E, 0x3F, the inputs, counter
  // groups 0-7; checked against the module.
  void Read(int i, Tally& tally) {
    const int step = i % 11;
    uint8_t command = 102, subcode = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0;
    if (step < 2) {
      b4 = b5 = step == 0 ? 0x3E : 0x3F;
    } else if (step == 2) {
      command = 0;
      subcode = 64;
    } else {
      command = 202;
      subcode = static_cast<uint8_t>(step - 3);
    }
    TExchangeReply reply{};
    ModuleExchange(link_.Type(), link_.Handle(), kAddress, command, subcode, b3, b4, b5, b6, b7, status, reply);
    ++tally.reads;
    // A late or doubled reply of an earlier request is dropped as if it
    // never came. A loaded machine may miss reply windows and leave bits of
    // frames, so a read may fail with no reply, noise or a broken frame,
    // but a whole frame of another request is never its reply.
    if (status == 3 || status == 6) ++tally.misread;
    if (status != 0) return;
    ++tally.answered;
    bool right = true;
    if (command == 102) {
      const uint8_t reg = step == 0 ? 0x3E : 0x3F;
      right = b3 == 4 && b4 == reg && b5 == reg && b6 == module_.registers[reg] && b7 == module_.registers[reg];
    } else if (command == 0) {
      right = b3 == 4 && PackBytes(b4, b5, b6, b7) == kInputs;
    } else {
      right = b3 == 16;
      for (int j = 0; j < 4 && right; ++j) {
        const uint32_t value = PackBytes(static_cast<uint8_t>(reply.Words[4 * j]), static_cast<uint8_t>(reply.Words[4 * j + 1]),
                                         static_cast<uint8_t>(reply.Words[4 * j + 2]),
                                         static_cast<uint8_t>(reply.Words[4 * j + 3]));
        right = value == module_.counters[4 * subcode + j];
      }
    }
    if (!right) {
      ++tally.wrong;
      ADD_FAILURE() << "read " << i << " (command " << int{command} << "/" << int{subcode}
                    << ") answered with another request's reply";
    }
  }

  dqtest::InProcessSim sim_;
  OpenedLink link_;
  dqsim::ModuleSnapshot module_;
  std::vector<Pattern> patterns_;
};

TEST_P(LateReplies, NoReplyIsEverTakenForAnotherRequest) {
  Tally total;
  auto lateUntil = std::chrono::steady_clock::now();
  auto add = [&total](const Tally& t) {
    total.reads += t.reads;
    total.answered += t.answered;
    total.wrong += t.wrong;
    total.misread += t.misread;
  };
  for (const Pattern& pattern : patterns_) {
    SCOPED_TRACE(pattern.name);
    Tally underFault;
    for (const auto& fault : pattern.faults) sim_->AddFault(fault);
    // A delayed read takes the delay or a whole Send: one round of the
    // eleven reads, or six that all fail.
    const bool delayed = std::any_of(pattern.faults.begin(), pattern.faults.end(),
                                     [](const dqsim::Fault& f) { return f.kind == K::kDelay; });
    const int reads = !pattern.allAnswered ? 6 : delayed ? 11 : 110;
    for (int i = 0; i < reads; ++i) Read(i, underFault);
    sim_->ClearFaults();
    lateUntil = std::max(lateUntil, std::chrono::steady_clock::now() + std::chrono::milliseconds(pattern.lateMs));
    // On time again, while late and doubled replies of this and the earlier
    // rows keep coming.
    Tally after;
    for (int i = 0; i < 33; ++i) Read(i, after);
    // Whether every read is answered depends on the machine keeping the
    // reply windows; that reads are answered at all, and only rightly,
    // does not.
    if (pattern.allAnswered) {
      EXPECT_GT(underFault.answered, 0);
    }
    EXPECT_GT(after.answered, 0) << "late replies made the reads fail";
    add(underFault);
    add(after);
  }
  // Until the latest of the late replies has come.
  Tally drain;
  for (int i = 0; std::chrono::steady_clock::now() < lateUntil + std::chrono::milliseconds(100); ++i) Read(i, drain);
  EXPECT_GT(drain.answered, 0);
  add(drain);
  EXPECT_EQ(total.wrong, 0);
  EXPECT_EQ(total.misread, 0);
  EXPECT_GT(total.reads, 1000) << "answered " << total.answered;
  RecordProperty("reads", total.reads);
  RecordProperty("answered", total.answered);
}

INSTANTIATE_TEST_SUITE_P(Links, LateReplies, ::testing::Values(itComPort, itDq2847),
                         [](const ::testing::TestParamInfo<TInterfaceType>& info) {
                           return info.param == itDq2847 ? std::string("Udp") : std::string("SerialPty");
                         });

}  // namespace
