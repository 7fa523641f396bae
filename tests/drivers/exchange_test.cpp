// The exchange engine against a scripted transport on a fake clock.
#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "Exchange.h"
#include "TestUtil.h"

using dqtest::Bytes;
using dqtest::ReplyFrame;

namespace {

class FakeClock final : public dqbus::Clock {
 public:
  int64_t NowMicros() override { return now; }
  int64_t now = 1000000;
};

constexpr int64_t kWindow = 10000;

// What arrives in one attempt: bytes (or one datagram) at a time after the
// request was written, or a fault.
struct Delivery {
  int64_t at = 0;
  std::vector<uint8_t> bytes;
  int32_t fault = 0;
};

class FakeTransport final : public dqbus::Transport {
 public:
  FakeTransport(FakeClock& clock, bool datagrams) : clock_(clock), datagrams_(datagrams) {}

  std::vector<std::vector<Delivery>> script;  // per attempt
  std::vector<std::vector<uint8_t>> written;
  int begun = 0;

  bool CarriesDatagrams() const override { return datagrams_; }
  int32_t Configure(const dqbus::LinkSettings&) override { return 0; }
  int32_t BeginAttempt() override {
    ++begun;
    next_ = 0;
    clock_.now += beginCost;
    return 0;
  }
  int64_t beginCost = 0;  // time the transport's preparation of an attempt takes
  int32_t Write(const uint8_t* frame, size_t size, int64_t) override {
    written.emplace_back(frame, frame + size);
    writtenAt_ = clock_.now;
    return 0;
  }
  int32_t Receive(int64_t deadline, std::vector<uint8_t>& out, bool& arrived) override {
    arrived = false;
    size_t attempt = static_cast<size_t>(begun - 1);
    if (attempt < script.size() && next_ < script[attempt].size()) {
      const Delivery& d = script[attempt][next_];
      if (writtenAt_ + d.at <= deadline) {
        clock_.now = std::max(clock_.now, writtenAt_ + d.at);
        ++next_;
        if (d.fault != 0) return d.fault;
        out.insert(out.end(), d.bytes.begin(), d.bytes.end());
        arrived = true;
        return 0;
      }
    }
    clock_.now = std::max(clock_.now, deadline);
    return 0;
  }
  int64_t ReplyWindowMicros(const dqbus::LinkSettings&) const override { return kWindow; }
  int64_t RestWindowMicros(const dqbus::LinkSettings&, size_t missing) const override {
    return datagrams_ ? 0 : 1000 + 100 * static_cast<int64_t>(missing);
  }
  int64_t ExchangeBoundMicros(const dqbus::LinkSettings&) const override { return bound; }
  int64_t RetryMinimumMicros(const dqbus::LinkSettings&) const override { return retryMinimum; }
  int64_t bound = 0;
  int64_t retryMinimum = 0;

 private:
  FakeClock& clock_;
  bool datagrams_;
  size_t next_ = 0;
  int64_t writtenAt_ = 0;
};

dqbus::Request ReadInputs() { return dqtest::Req(7, 0, 64); }

// Every exchange of a test starts after this transaction number, so that
// attempt k sends kBase + 1 + k.
constexpr uint16_t kBase = 0xFFFE;  // the numbers wrap within an exchange
constexpr uint16_t Txn(int attempt) { return static_cast<uint16_t>(kBase + 1 + attempt); }

// A reply frame answering attempt `attempt` of the exchange (negative: an
// attempt of an earlier exchange).
std::vector<uint8_t> Frame(uint8_t address, uint8_t command, uint8_t status, std::vector<uint8_t> data,
                           int attempt = 0) {
  return ReplyFrame(address, command, status, std::move(data), Txn(attempt));
}

const std::vector<uint8_t> kGood = Frame(7, 0, 0, {1, 2, 3, 4});

// Runs one exchange of ReadInputs() on the fixture's transport, its
// transaction numbers starting after kBase, with what arrives in each
// attempt scripted before; `elapsed` is the time it took.
class ExchangeFixture : public ::testing::Test {
 protected:
  explicit ExchangeFixture(bool datagrams) : transport{clock, datagrams} {}
  dqbus::ExchangeResult Run(std::vector<std::vector<Delivery>> script, int retries = 2) {
    transport.script = std::move(script);
    transport.begun = 0;
    return Run(retries);
  }
  dqbus::ExchangeResult Run(int retries = 2) {
    dqbus::LinkSettings settings;
    settings.retries = retries;
    int64_t start = clock.now;
    transport.SetTransaction(kBase);
    auto result = dqbus::Exchange(transport, clock, settings, ReadInputs());
    elapsed = clock.now - start;
    return result;
  }
  FakeClock clock;
  FakeTransport transport;
  int64_t elapsed = 0;
};

class ExchangeTest : public ExchangeFixture {
 protected:
  ExchangeTest() : ExchangeFixture(false) {}
  FakeTransport& stream = transport;
};

}  // namespace

TEST_F(ExchangeTest, ReplyAcceptedFirstTime) {
  stream.script = {{{2000, kGood}}};
  auto result = Run();
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 1);
  EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
  ASSERT_EQ(stream.written.size(), 1u);
  auto sent = dqbus::DecodeRequest(stream.written[0].data(), stream.written[0].size());
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->transaction, Txn(0));
}

TEST_F(ExchangeTest, SilenceRetriesAsConfiguredThenTimesOut) {
  for (int retries : {0, 2, 5, 9}) {
    SCOPED_TRACE(retries);
    stream.begun = 0;
    auto result = Run(retries);
    int expected = std::min(retries, 5) + 1;
    EXPECT_EQ(result.code, dqerr::kTimeout);
    EXPECT_EQ(result.attempts, expected);
    EXPECT_EQ(stream.begun, expected);  // input flushed before every attempt
    EXPECT_EQ(elapsed, expected * kWindow);
  }
}

// What the transport does before the request (a flush, a reopen) is part
// of the attempt's window, so a slow preparation cannot stretch the Send.
TEST_F(ExchangeTest, PreparationCountsInTheAttemptWindow) {
  stream.beginCost = 3000;
  auto result = Run(2);
  EXPECT_EQ(result.code, dqerr::kTimeout);
  EXPECT_EQ(elapsed, 3 * kWindow);
  // A reply within the window left after the preparation is still taken.
  result = Run({{{kWindow - 3000, kGood}}}, 0);
  EXPECT_EQ(result.code, dqerr::kOk);
}

TEST_F(ExchangeTest, RetryAfterSilenceSucceeds) {
  stream.script = {{}, {{500, kGood}}};
  auto result = Run();
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 2);
}

// A reply counts only when it echoes the number of an attempt of this
// exchange: replies of earlier exchanges (late, doubled, out of order) are
// dropped however valid they are, and a late reply of an earlier attempt of
// this exchange answers the same request.
TEST_F(ExchangeTest, OnlyRepliesOfThisExchangeAreTaken) {
  const auto earlier = Frame(7, 0, 0, {9, 9, 9, 9}, -1);
  const auto muchEarlier = Frame(7, 0, 0, {8, 8, 8, 8}, -300);
  struct Case {
    const char* name;
    std::vector<std::vector<Delivery>> script;
    int32_t code;
    int attempts;
  };
  const std::vector<Case> cases = {
      {"the previous exchange's reply, then ours", {{{100, earlier}, {300, kGood}}}, dqerr::kOk, 1},
      {"an old duplicate and a reply to another command of before, then ours",
       {{{100, muchEarlier}, {200, Frame(7, 102, 0, {1, 1, 5, 5}, -2)}, {300, kGood}}},
       dqerr::kOk,
       1},
      {"another module answering before us, then ours", {{{200, Frame(9, 0, 0, {9, 9, 9, 9}, -1)}, {300, kGood}}},
       dqerr::kOk, 1},
      {"only replies of earlier exchanges", {{{100, earlier}}, {{100, muchEarlier}}, {{100, earlier}}},
       dqerr::kTimeout, 3},
      {"the first attempt's reply late in the second", {{}, {{500, Frame(7, 0, 0, {1, 2, 3, 4}, 0)}}}, dqerr::kOk, 2},
      {"the second attempt's reply in the third, behind an earlier exchange's",
       {{}, {}, {{100, earlier}, {200, Frame(7, 0, 0, {1, 2, 3, 4}, 1)}}},
       dqerr::kOk,
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = Run(c.script);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.attempts, c.attempts);
    if (c.code == dqerr::kOk) {
      EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
    }
  }
}

// A bad frame ends its attempt once the line has been quiet for the gap
// behind it (the fake's rest window of 2 bytes, 1200 us), not at the end of
// the reply window; a good frame within the gap is still taken.
TEST_F(ExchangeTest, BadFrameEndsTheAttemptAfterAQuietGap) {
  auto crcBroken = kGood;
  crcBroken.back() ^= 0xFF;
  constexpr int64_t kGap = 1000 + 2 * 100;
  struct Case {
    const char* name;
    std::vector<Delivery> first;
    int32_t code;     // with no retry
    int64_t elapsed;  // with no retry
  };
  const std::vector<Case> cases = {
      {"bad crc", {{100, crcBroken}}, dqerr::kCrc, 100 + kGap},
      {"bad crc, then more of the burst", {{100, crcBroken}, {900, Bytes({0, 0})}}, dqerr::kCrc, 900 + kGap},
      {"oversized count", {{100, Bytes({0xA6, 0xFF, 0xFF, 7, 0, 0, 0x90, 1, 2})}}, dqerr::kReplyTooLong, 100 + kGap},
      {"this attempt answered from another address", {{100, Frame(8, 0, 0, {})}}, dqerr::kForeignAddress, 100 + kGap},
      {"bad crc, then the good frame within the gap", {{100, crcBroken}, {1000, kGood}}, dqerr::kOk, 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = Run({c.first}, 0);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(elapsed, c.elapsed);
    // With a retry, the retry's reply is taken.
    result = Run({c.first, {{300, Frame(7, 0, 0, {1, 2, 3, 4}, 1)}}}, 1);
    EXPECT_EQ(result.code, dqerr::kOk);
    EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
  }
}

TEST_F(ExchangeTest, MostSpecificFailureIsReported) {
  auto crcBroken = kGood;
  crcBroken[8] ^= 0xFF;
  struct Case {
    const char* name;
    std::vector<std::vector<Delivery>> script;
    int32_t code;
  };
  std::vector<Case> cases = {
      {"foreign only", {{{10, Frame(8, 0, 0, {})}}, {{10, Frame(8, 0, 0, {}, 1)}}}, dqerr::kForeignAddress},
      {"echo only", {{{10, Frame(7, 1, 0, {})}}}, dqerr::kEchoMismatch},
      {"bad crc once, then silence", {{{10, crcBroken}}, {}, {}}, dqerr::kCrc},
      {"noise only", {{{10, Bytes({0x00, 0x13, 0x37})}}}, dqerr::kMalformed},
      {"truncated", {{{10, std::vector<uint8_t>(kGood.begin(), kGood.begin() + 6)}}}, dqerr::kTruncated},
      {"oversized count", {{{10, Bytes({0xA6, 0, 0, 7, 0, 0, 0x90, 1, 2})}}}, dqerr::kReplyTooLong},
      {"foreign beats crc", {{{10, Frame(8, 0, 0, {})}, {20, crcBroken}}}, dqerr::kForeignAddress},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto result = Run(c.script);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.attempts, 3);
  }
}

TEST_F(ExchangeTest, StartedFrameMayFinishAfterFirstWindowButWithinItsWireTime) {
  stream.script = {{{kWindow - 100, std::vector<uint8_t>(kGood.begin(), kGood.begin() + 3)},
                    {kWindow + 800, std::vector<uint8_t>(kGood.begin() + 3, kGood.end())}}};
  EXPECT_EQ(Run().code, dqerr::kOk);
}

TEST_F(ExchangeTest, FrameStartingAfterWindowIsTooLate) {
  stream.script = {{{kWindow + 1, kGood}}};
  auto result = Run(0);
  EXPECT_EQ(result.code, dqerr::kTimeout);
}

TEST_F(ExchangeTest, FalseStartIsGivenUpAndTheFrameBehindItFound) {
  auto bytes = Bytes({0xA6, 0, 0, 7, 0, 0, 0x40});
  bytes.insert(bytes.end(), kGood.begin(), kGood.end());
  stream.script = {{{100, bytes}}};
  auto result = Run(0);
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
}

TEST_F(ExchangeTest, ModuleStatusIsMappedAndNotRetried) {
  stream.script = {{{100, Frame(7, 0, dqbus::msBadRegister, {})}}};
  auto result = Run();
  EXPECT_EQ(result.code, dqerr::kModuleBadRegister);
  EXPECT_EQ(result.attempts, 1);
}

TEST_F(ExchangeTest, TransportFaultEndsAtOnce) {
  stream.script = {{{100, {}, dqerr::kPortVanished}}};
  auto result = Run();
  EXPECT_EQ(result.code, dqerr::kPortVanished);
  EXPECT_EQ(result.attempts, 1);
}

TEST_F(ExchangeTest, HostileTrickleCannotStretchAnAttempt) {
  // Frame starts that never complete, one after the other: the attempt still
  // ends by its hard bound (first window + the rest window of a longest reply).
  std::vector<Delivery> trickle;
  for (int i = 0; i < 400; ++i) trickle.push_back({100 + 50 * i, Bytes({0xA6, 0, 0, 7, 0, 0, 0x40, 1})});
  stream.script = {trickle};
  auto result = Run(0);
  EXPECT_NE(result.code, dqerr::kOk);
  EXPECT_LE(elapsed, kWindow + 1000 + 100 * static_cast<int64_t>(dqbus::kReplyMaxSize));
}

class ExchangeDatagrams : public ExchangeFixture {
 protected:
  ExchangeDatagrams() : ExchangeFixture(true) {}
  FakeTransport& lan = transport;
};

TEST_F(ExchangeDatagrams, WholeFramesAreJudgedAsSuch) {
  auto longer = kGood;
  longer.push_back(0);
  EXPECT_EQ(Run({{{10, longer}}}).code, dqerr::kReplyTooLong);
  EXPECT_EQ(Run({{{10, std::vector<uint8_t>(kGood.begin(), kGood.end() - 1)}}}).code, dqerr::kTruncated);
  EXPECT_EQ(Run({{{10, {}}}}).code, dqerr::kTruncated);
  EXPECT_EQ(Run({{{10, Bytes({0x11, 0x22})}}}).code, dqerr::kMalformed);
  auto result = Run({{}, {}, {{10, kGood}}});
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 3);
}

// A datagram with a bad frame ends its attempt at once; a valid frame of an
// earlier exchange inside a datagram is dropped and waiting goes on.
TEST_F(ExchangeDatagrams, BadDatagramEndsItsAttemptAtOnce) {
  auto longer = kGood;
  longer.push_back(0);
  auto crcBroken = kGood;
  crcBroken.back() ^= 0xFF;
  const auto again = Frame(7, 0, 0, {1, 2, 3, 4}, 1);
  auto result = Run({{{10, longer}}, {{20, again}}});
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 2);
  EXPECT_EQ(elapsed, 10 + 20);
  result = Run({{{10, crcBroken}}, {{20, again}}});
  EXPECT_EQ(result.attempts, 2);
  EXPECT_EQ(elapsed, 10 + 20);
  result = Run({{{10, Frame(7, 0, 0, {9, 9, 9, 9}, -1)}, {30, kGood}}});
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
  EXPECT_EQ(result.attempts, 1);
}

// With an exchange bound the attempts share it: each an even part of the
// time left but at least its window (10 ms here), a retry only while the
// retry minimum is left; Send never takes longer than the bound.
TEST_F(ExchangeDatagrams, AttemptsShareTheExchangeBound) {
  struct Case {
    int64_t bound;
    int retries;
    int attempts;
    int64_t elapsed;
  };
  const Case cases[] = {
      {60000, 2, 3, 60000},  // 20 ms each
      {30000, 2, 3, 30000},  // 10 ms each
      {25000, 2, 3, 25000},  // 10, 10, then the 5 ms left
      {12000, 2, 1, 10000},  // 2 ms left: too little for a retry
      {10000, 5, 1, 10000},
      {60000, 0, 1, 60000},
  };
  lan.retryMinimum = 5000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bound);
    lan.bound = c.bound;
    auto result = Run({}, c.retries);
    EXPECT_EQ(result.code, dqerr::kTimeout);
    EXPECT_EQ(result.attempts, c.attempts);
    EXPECT_EQ(elapsed, c.elapsed);
  }
}
