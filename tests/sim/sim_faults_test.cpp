// Fault injection: what each fault does to the bytes of one reply, and how
// long it lasts.
#include <gtest/gtest.h>

#include <optional>

#include "Frames.h"
#include "sim/model/Faults.h"

using dqsim::Fault;
using dqsim::FaultKind;
using dqsim::FaultSet;

namespace {

dqbus::Reply SampleReply() { return dqtest::Rep(7, 100, 0, {1, 2, 3, 4}); }

// The next reply through the faults, decoded; nothing when it is no valid frame.
std::optional<dqbus::Reply> NextReply(FaultSet& faults) {
  const auto bytes = faults.Apply(SampleReply()).bytes;
  return dqbus::DecodeReply(bytes.data(), bytes.size());
}

TEST(FaultSetTest, WithoutFaultsTheReplyIsEncodedAsIs) {
  FaultSet faults;
  auto plan = faults.Apply(SampleReply());
  EXPECT_TRUE(plan.send);
  EXPECT_EQ(plan.bytes, dqbus::EncodeReply(SampleReply()));
  EXPECT_EQ(plan.delayMs, 0);
}

TEST(FaultSetTest, OneShotFaultsActOnTheNextRepliesOnly) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kSilence, -1, 2});
  EXPECT_FALSE(faults.Apply(SampleReply()).send);
  EXPECT_FALSE(faults.Apply(SampleReply()).send);
  EXPECT_TRUE(faults.Apply(SampleReply()).send);
  EXPECT_TRUE(faults.Active().empty());
}

TEST(FaultSetTest, PersistentFaultsLastUntilCleared) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kCorruptCrc, -1, -1});
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(NextReply(faults));
  }
  faults.Clear(FaultKind::kCorruptCrc);
  EXPECT_TRUE(NextReply(faults));
}

TEST(FaultSetTest, SilencedReplyDoesNotUseUpOtherFaults) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kSilence, -1, 1});
  faults.Add(Fault{FaultKind::kCorruptCrc, -1, 1});
  EXPECT_FALSE(faults.Apply(SampleReply()).send);
  EXPECT_FALSE(NextReply(faults));
  EXPECT_TRUE(faults.Active().empty());
}

TEST(FaultSetTest, AFaultOfTheSameKindReplacesTheEarlierOne) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kDelay, 100, -1});
  faults.Add(Fault{FaultKind::kDelay, 30, 1});
  ASSERT_EQ(faults.Active().size(), 1u);
  EXPECT_EQ(faults.Apply(SampleReply()).delayMs, 30);
  EXPECT_EQ(faults.Apply(SampleReply()).delayMs, 0);
}

TEST(FaultSetTest, CorruptCrcKeepsTheFrameLengthAndBreaksOnlyTheCrc) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kCorruptCrc});
  auto good = dqbus::EncodeReply(SampleReply());
  auto bad = faults.Apply(SampleReply()).bytes;
  ASSERT_EQ(bad.size(), good.size());
  EXPECT_TRUE(std::equal(good.begin(), good.end() - 2, bad.begin()));
  EXPECT_FALSE(dqbus::DecodeReply(bad.data(), bad.size()));
}

TEST(FaultSetTest, WrongAddressAndWrongCommandGiveValidFrames) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kWrongAddress});
  auto reply = NextReply(faults);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->address, 8);
  faults.Add(Fault{FaultKind::kWrongAddress, 200});
  faults.Add(Fault{FaultKind::kWrongCommand, 33});
  reply = NextReply(faults);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->address, 200);
  EXPECT_EQ(reply->command, 33);
  EXPECT_EQ(reply->data, SampleReply().data);
}

TEST(FaultSetTest, TruncateSendsOnlyTheFirstBytes) {
  FaultSet faults;
  auto full = dqbus::EncodeReply(SampleReply());
  faults.Add(Fault{FaultKind::kTruncate});
  EXPECT_EQ(faults.Apply(SampleReply()).bytes, std::vector<uint8_t>(full.begin(), full.begin() + full.size() / 2));
  faults.Add(Fault{FaultKind::kTruncate, 1000});  // never the whole frame
  EXPECT_EQ(faults.Apply(SampleReply()).bytes.size(), full.size() - 1);
  faults.Add(Fault{FaultKind::kTruncate, 0});  // never nothing
  EXPECT_EQ(faults.Apply(SampleReply()).bytes.size(), 1u);
}

TEST(FaultSetTest, OversizeCountCarriesACountBeyondTheMaximum) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kOversizeCount});
  auto bytes = faults.Apply(SampleReply()).bytes;
  ASSERT_EQ(bytes.size(), dqbus::kReplyHeaderSize + 200 + 2);
  EXPECT_EQ(bytes[dqbus::kReplyCountOffset], 200);
  uint16_t crc = dqbus::Crc16(bytes.data(), bytes.size() - 2);
  EXPECT_EQ(bytes[bytes.size() - 2], crc & 0xFF);  // consistent, only too long
  faults.Add(Fault{FaultKind::kOversizeCount, 10});  // not beyond the maximum: the default
  EXPECT_EQ(faults.Apply(SampleReply()).bytes[dqbus::kReplyCountOffset], 200);
}

TEST(FaultSetTest, OversizeExtraAppendsBytesBehindAValidFrame) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kOversizeExtra, 3});
  auto good = dqbus::EncodeReply(SampleReply());
  auto bytes = faults.Apply(SampleReply()).bytes;
  ASSERT_EQ(bytes.size(), good.size() + 3);
  EXPECT_TRUE(std::equal(good.begin(), good.end(), bytes.begin()));
}

TEST(FaultSetTest, ErrorStatusReplacesDataWithAStatus) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kErrorStatus});
  auto reply = NextReply(faults);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, dqbus::msBusy);
  EXPECT_TRUE(reply->data.empty());
  faults.Add(Fault{FaultKind::kErrorStatus, 6});
  reply = NextReply(faults);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 6);
}

TEST(FaultSetTest, GarbageReplacesTheReplyWithBytesThatStartNoFrame) {
  FaultSet faults;
  faults.Add(Fault{FaultKind::kGarbage, 5});
  faults.Add(Fault{FaultKind::kCorruptCrc, -1, 1});
  auto plan = faults.Apply(SampleReply());
  EXPECT_EQ(plan.bytes.size(), 5u);
  for (uint8_t b : plan.bytes) {
    EXPECT_NE(b, dqbus::kReplyStart);
    EXPECT_NE(b, dqbus::kRequestStart);
  }
  EXPECT_EQ(faults.Active().size(), 1u);  // the CRC fault waits for a real frame
}

// Answers out of order: a doubled reply (at once or later) and an earlier
// reply sent again ahead of the current one.
TEST(FaultSetTest, DuplicateAndStaleAddFramesAroundTheReply) {
  dqbus::Reply earlier = SampleReply();
  earlier.transaction = 41;
  earlier.data = {9, 9, 9, 9};
  dqbus::Reply current = SampleReply();
  current.transaction = 42;
  const auto earlierBytes = dqbus::EncodeReply(earlier);
  const auto currentBytes = dqbus::EncodeReply(current);
  struct Case {
    const char* name;
    std::vector<Fault> faults;
    std::vector<std::vector<uint8_t>> before, after;
    std::vector<int> beforeDelays, afterDelays;
  };
  const std::vector<Case> cases = {
      {"duplicate", {{FaultKind::kDuplicate}}, {}, {currentBytes}, {}, {0}},
      {"duplicate 300 behind a delay 50", {{FaultKind::kDuplicate, 300}, {FaultKind::kDelay, 50}}, {}, {currentBytes},
       {}, {350}},
      {"stale", {{FaultKind::kStale}}, {earlierBytes}, {}, {0}, {}},
      {"stale behind a delay 20 and doubled", {{FaultKind::kStale}, {FaultKind::kDelay, 20}, {FaultKind::kDuplicate}},
       {earlierBytes}, {currentBytes}, {20}, {20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FaultSet faults;
    faults.Apply(earlier);
    for (const auto& fault : c.faults) faults.Add(fault);
    auto plan = faults.Apply(current);
    EXPECT_EQ(plan.bytes, currentBytes);
    std::vector<std::vector<uint8_t>> before, after;
    std::vector<int> beforeDelays, afterDelays;
    for (const auto& e : plan.before) before.push_back(e.bytes), beforeDelays.push_back(e.delayMs);
    for (const auto& e : plan.after) after.push_back(e.bytes), afterDelays.push_back(e.delayMs);
    EXPECT_EQ(before, c.before);
    EXPECT_EQ(after, c.after);
    EXPECT_EQ(beforeDelays, c.beforeDelays);
    EXPECT_EQ(afterDelays, c.afterDelays);
    EXPECT_TRUE(faults.Active().empty());  // each acted on one reply
  }
  FaultSet fresh;  // nothing sent before: nothing to send again
  fresh.Add(Fault{FaultKind::kStale});
  EXPECT_TRUE(fresh.Apply(current).before.empty());
  FaultSet reset;  // a reset set is as new: the reply sent before is forgotten
  reset.Apply(earlier);
  reset.Reset();
  reset.Add(Fault{FaultKind::kStale});
  EXPECT_TRUE(reset.Apply(current).before.empty());
}

TEST(FaultSetTest, NamesRoundTrip) {
  for (auto kind : {FaultKind::kSilence, FaultKind::kCorruptCrc, FaultKind::kWrongAddress, FaultKind::kWrongCommand,
                    FaultKind::kGarbage, FaultKind::kTruncate, FaultKind::kOversizeCount, FaultKind::kOversizeExtra,
                    FaultKind::kDelay, FaultKind::kErrorStatus, FaultKind::kDuplicate, FaultKind::kStale}) {
    EXPECT_EQ(dqsim::FaultKindFromName(dqsim::FaultName(kind)), kind);
  }
  EXPECT_FALSE(dqsim::FaultKindFromName("nonsense"));
  EXPECT_EQ(dqsim::DescribeFault(Fault{FaultKind::kDelay, 150, -1}), "delay 150 always");
  EXPECT_EQ(dqsim::DescribeFault(Fault{FaultKind::kSilence, -1, 2}), "silence next 2");
}

}  // namespace
