// The exchange engine against a scripted transport on a fake clock.
#include <gtest/gtest.h>

#include "ErrorCodes.h"
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
    return 0;
  }
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

 private:
  FakeClock& clock_;
  bool datagrams_;
  size_t next_ = 0;
  int64_t writtenAt_ = 0;
};

dqbus::Request ReadInputs(uint8_t address = 7) {
  dqbus::Request request;
  request.address = address;
  request.command = 0;
  request.subcode = 64;
  return request;
}

const std::vector<uint8_t> kGood = ReplyFrame(7, 0, 0, {1, 2, 3, 4});

class ExchangeTest : public ::testing::Test {
 protected:
  dqbus::ExchangeResult Run(int retries = 2) {
    dqbus::LinkSettings settings;
    settings.retries = retries;
    int64_t start = clock.now;
    auto result = dqbus::Exchange(stream, clock, settings, ReadInputs());
    elapsed = clock.now - start;
    return result;
  }
  FakeClock clock;
  FakeTransport stream{clock, false};
  int64_t elapsed = 0;
};

}  // namespace

TEST_F(ExchangeTest, ReplyAcceptedFirstTime) {
  stream.script = {{{2000, kGood}}};
  auto result = Run();
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 1);
  EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
  ASSERT_EQ(stream.written.size(), 1u);
  EXPECT_EQ(stream.written[0].size(), dqbus::kRequestSize);
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

TEST_F(ExchangeTest, RetryAfterSilenceSucceeds) {
  stream.script = {{}, {{500, kGood}}};
  auto result = Run();
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 2);
}

TEST_F(ExchangeTest, StaleAndForeignRepliesAreDroppedWhileWaiting) {
  stream.script = {{{100, ReplyFrame(7, 102, 0, {1, 1, 5, 5})},  // late reply to another command
                    {200, ReplyFrame(9, 0, 0, {9, 9, 9, 9})},     // another module
                    {300, kGood}}};
  auto result = Run();
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 1);
  EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
}

TEST_F(ExchangeTest, MostSpecificFailureIsReported) {
  auto crcBroken = kGood;
  crcBroken[6] ^= 0xFF;
  struct Case {
    const char* name;
    std::vector<std::vector<Delivery>> script;
    int32_t code;
  };
  std::vector<Case> cases = {
      {"foreign only", {{{10, ReplyFrame(8, 0, 0, {})}}, {{10, ReplyFrame(8, 0, 0, {})}}}, dqerr::kForeignAddress},
      {"echo only", {{{10, ReplyFrame(7, 1, 0, {})}}}, dqerr::kEchoMismatch},
      {"bad crc once, then silence", {{{10, crcBroken}}, {}, {}}, dqerr::kCrc},
      {"noise only", {{{10, Bytes({0x00, 0x13, 0x37})}}}, dqerr::kMalformed},
      {"truncated", {{{10, std::vector<uint8_t>(kGood.begin(), kGood.begin() + 6)}}}, dqerr::kTruncated},
      {"oversized count", {{{10, Bytes({0xA5, 7, 0, 0, 0x90, 1, 2})}}}, dqerr::kReplyTooLong},
      {"foreign beats crc", {{{10, ReplyFrame(8, 0, 0, {})}, {20, crcBroken}}}, dqerr::kForeignAddress},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    stream.begun = 0;
    stream.script = c.script;
    auto result = Run();
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
  auto bytes = Bytes({0xA5, 7, 0, 0, 0x40});
  bytes.insert(bytes.end(), kGood.begin(), kGood.end());
  stream.script = {{{100, bytes}}};
  auto result = Run(0);
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.reply.data, Bytes({1, 2, 3, 4}));
}

TEST_F(ExchangeTest, ModuleStatusIsMappedAndNotRetried) {
  stream.script = {{{100, ReplyFrame(7, 0, dqbus::msBadRegister, {})}}};
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
  for (int i = 0; i < 400; ++i) trickle.push_back({100 + 50 * i, Bytes({0xA5, 7, 0, 0, 0x40, 1})});
  stream.script = {trickle};
  auto result = Run(0);
  EXPECT_NE(result.code, dqerr::kOk);
  EXPECT_LE(elapsed, kWindow + 1000 + 100 * static_cast<int64_t>(dqbus::kReplyMaxSize));
}

TEST(ExchangeDatagrams, WholeFramesAreJudgedAsSuch) {
  FakeClock clock;
  FakeTransport lan(clock, true);
  dqbus::LinkSettings settings;
  auto longer = kGood;
  longer.push_back(0);
  auto run = [&](std::vector<std::vector<Delivery>> script) {
    lan.script = std::move(script);
    lan.begun = 0;
    return dqbus::Exchange(lan, clock, settings, ReadInputs());
  };
  EXPECT_EQ(run({{{10, longer}}}).code, dqerr::kReplyTooLong);
  EXPECT_EQ(run({{{10, std::vector<uint8_t>(kGood.begin(), kGood.end() - 1)}}}).code, dqerr::kTruncated);
  EXPECT_EQ(run({{{10, {}}}}).code, dqerr::kTruncated);
  EXPECT_EQ(run({{{10, Bytes({0x11, 0x22})}}}).code, dqerr::kMalformed);
  EXPECT_EQ(run({{{10, longer}, {20, kGood}}}).code, dqerr::kOk);
  auto result = run({{}, {}, {{10, kGood}}});
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.attempts, 3);
}
