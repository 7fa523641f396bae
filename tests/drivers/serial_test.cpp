// The serial transport over a real pseudo-terminal pair.
#include <gtest/gtest.h>
#include <termios.h>

#include <thread>

#include "Channel.h"
#include "core/ErrorCodes.h"
#include "Exchange.h"
#include "SerialLine.h"
#include "TestUtil.h"

using dqtest::Bytes;
using dqtest::PtyModule;
using dqtest::PtyPair;
using dqtest::ReplyFrame;

namespace {

std::vector<uint8_t> EchoInputs(const dqbus::Request& request) {
  return ReplyFrame(request.address, request.command, 0, {0x05, 0x00, 0x80, 0xFF}, request.transaction);
}

std::vector<uint8_t> NoiseThenReply(const dqbus::Request& request) {
  auto bytes = Bytes({0xFF, 0x00, 0xA5, 0x01});
  auto frame = ReplyFrame(request.address, request.command, 0, {9}, request.transaction);
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  return bytes;
}

dqbus::Request ReadInputs() { return dqtest::Req(3, 0, 64); }

dqbus::LinkSettings Fast(int retries = 0) { return dqbus::Clamped(115200, 0, retries); }

}  // namespace

TEST(SerialLineOpen, FailuresHaveTheirOwnCodes) {
  std::unique_ptr<dqbus::SerialLine> port;
  dqtest::TempDir dir;
  EXPECT_EQ(dqbus::SerialLine::Open(dir.File("ttyS99"), port), dqerr::kPortMissing);
  dir.Write("plain", "not a terminal");
  EXPECT_EQ(dqbus::SerialLine::Open(dir.File("plain"), port), dqerr::kPortSetup);
  EXPECT_EQ(dqbus::SerialLine::Open("", port), dqerr::kPortMissing);
  EXPECT_FALSE(port);
}

TEST(SerialLineOpen, ExclusiveUntilClosed) {
  PtyPair pty;
  std::unique_ptr<dqbus::SerialLine> first;
  std::unique_ptr<dqbus::SerialLine> second;
  ASSERT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), first), dqerr::kOk);
  EXPECT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), second), dqerr::kPortBusy);
  first.reset();
  EXPECT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), second), dqerr::kOk);
}

TEST(SerialLineOpen, ConfigureSetsRawLineAtTheRate) {
  PtyPair pty;
  std::unique_ptr<dqbus::SerialLine> port;
  ASSERT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), port), dqerr::kOk);
  EXPECT_EQ(port->Configure(dqbus::Clamped(14400, 0, 0)), dqerr::kBaudRate);
  ASSERT_EQ(port->Configure(dqbus::Clamped(57600, 5, 2)), dqerr::kOk);
  termios tio{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
}

TEST(SerialLineExchange, RequestBytesAndReply) {
  PtyPair pty;
  std::unique_ptr<dqbus::SerialLine> port;
  ASSERT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), port), dqerr::kOk);
  ASSERT_EQ(port->Configure(Fast()), dqerr::kOk);
  {
    PtyModule module(pty, EchoInputs);
    auto result = dqbus::Exchange(*port, dqbus::SteadyClock(), dqbus::Clamped(115200, 50, 2), ReadInputs());
    EXPECT_EQ(result.code, dqerr::kOk);
    EXPECT_EQ(result.reply.data, Bytes({0x05, 0x00, 0x80, 0xFF}));
  }
  {
    PtyModule module(pty, NoiseThenReply);
    auto result = dqbus::Exchange(*port, dqbus::SteadyClock(), dqbus::Clamped(115200, 50, 2), ReadInputs());
    EXPECT_EQ(result.code, dqerr::kOk);
    EXPECT_EQ(result.reply.data, Bytes({9}));
  }
}

TEST(SerialLineExchange, StaleInputIsFlushedBeforeTheRequest) {
  PtyPair pty;
  std::unique_ptr<dqbus::SerialLine> port;
  ASSERT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), port), dqerr::kOk);
  // A complete reply lies waiting before the request is sent: it must not be taken.
  pty.Send(ReplyFrame(3, 0, 0, {1, 1, 1, 1}));
  auto result = dqbus::Exchange(*port, dqbus::SteadyClock(), Fast(), ReadInputs());
  EXPECT_EQ(result.code, dqerr::kTimeout);
  auto request = pty.ReadRequest();
  auto sent = ReadInputs();
  sent.transaction = port->Transaction();
  auto expected = dqbus::EncodeRequest(sent);
  EXPECT_EQ(request, std::vector<uint8_t>(expected.begin(), expected.end()));
}

TEST(SerialLineExchange, PeerClosingIsVanishedNotTimeout) {
  PtyPair pty;
  std::unique_ptr<dqbus::SerialLine> port;
  ASSERT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), port), dqerr::kOk);
  pty.CloseMaster();
  auto result = dqbus::Exchange(*port, dqbus::SteadyClock(), Fast(2), ReadInputs());
  EXPECT_EQ(result.code, dqerr::kPortVanished);
  EXPECT_EQ(result.attempts, 1);
  // And stays so while the device is not back.
  EXPECT_EQ(dqbus::Exchange(*port, dqbus::SteadyClock(), Fast(2), ReadInputs()).code, dqerr::kPortVanished);
}

TEST(SerialLineExchange, PeerClosingWhileWaitingIsVanished) {
  PtyPair pty;
  std::unique_ptr<dqbus::SerialLine> port;
  ASSERT_EQ(dqbus::SerialLine::Open(pty.SlavePath(), port), dqerr::kOk);
  std::thread closer([&pty] {
    pty.ReadRequest();
    pty.CloseMaster();
  });
  auto result = dqbus::Exchange(*port, dqbus::SteadyClock(), dqbus::Clamped(115200, 2000, 0), ReadInputs());
  closer.join();
  EXPECT_EQ(result.code, dqerr::kPortVanished);
}

// SetConfig while the device is away reports 10 but keeps what it was
// asked for: the line reopens at the new rate, without SetConfig again.
TEST(SerialLineReopenRate, RateSetWhileAwayIsTheRateReopenedAt) {
  const struct {
    const char* name;
    bool noticedBefore;  // an exchange met the hang-up before SetConfig
  } rows[] = {
      {"device noticed away by an exchange", true},
      {"device noticed away by SetConfig itself", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto first = std::make_unique<PtyPair>();
    std::string current = first->SlavePath();
    std::unique_ptr<dqbus::SerialLine> line;
    ASSERT_EQ(dqbus::SerialLine::Open(current, [&current] { return current; }, line), dqerr::kOk);
    dqbus::SerialLine& port = *line;
    dqglue::Channel channel(std::move(line));
    first->CloseMaster();
    if (row.noticedBefore) {
      ASSERT_EQ(dqbus::Exchange(port, dqbus::SteadyClock(), Fast(), ReadInputs()).code, dqerr::kPortVanished);
    }
    current.clear();  // nothing to reopen yet
    EXPECT_EQ(channel.SetConfig(115200, 0, 0), dqerr::kPortVanished);
    EXPECT_EQ(channel.Settings().baudRate, 115200u);

    PtyPair second;
    current = second.SlavePath();
    dqbus::Exchange(port, dqbus::SteadyClock(), Fast(), ReadInputs());
    EXPECT_FALSE(port.Vanished());
    termios tio{};
    ASSERT_EQ(tcgetattr(second.Slave(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
  }
}
