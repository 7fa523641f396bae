// Wire timing as a module on a wire shows it: the reply begins after the
// request's wire time and the module's turnaround, and its bytes follow at
// the rate. The simulator's loop runs on the test's thread against a line
// clock stepped by hand, so every step lands exactly on a byte's time.
#include <poll.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "Frames.h"
#include "PtyPair.h"
#include "TempDir.h"
#include "SimTestUtil.h"
#include "sim/simulator/Simulator.h"
#include "core/BaudRates.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum class Line { kPty, kSerial, kUdp };

struct WireRow {
  Line line;
  int baudCode;
};

std::ostream& operator<<(std::ostream& out, const WireRow& row) {
  static const char* kNames[] = {"pty", "serial", "udp"};
  return out << kNames[static_cast<int>(row.line)] << "@" << dqcore::kBaudRates[row.baudCode];
}

class WireTimingTest : public ::testing::TestWithParam<WireRow> {};

TEST_P(WireTimingTest, ReplyBeginsAfterRequestAndTurnaroundAndFollowsTheRate) {
  const WireRow row = GetParam();
  const uint32_t rate = dqcore::kBaudRates[row.baudCode];
  auto wire = [rate](size_t bytes) { return static_cast<int64_t>(dqcore::WireTimeMicros(bytes, rate)); };

  dqtest::TempDir dir;
  dqtest::PtyPair device;  // the far end of a real serial device
  dqsim::ManualTime clock;
  dqsim::SimOptions options;
  options.baudCode = static_cast<uint8_t>(row.baudCode);
  options.wireTiming = true;
  options.inputPattern = false;
  options.portMapPath = dir.File("ports.conf");
  options.pty = row.line == Line::kPty;
  options.udp = row.line == Line::kUdp;
  options.udpPort = 0;
  if (row.line == Line::kSerial) options.serialDevice = device.SlavePath();
  dqsim::Simulator sim(options);
  sim.SetLineClock(&clock);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;

  // What the test reads: bytes that came by now (waiting at most waitMs).
  std::unique_ptr<simtest::PtyClient> pty;
  std::unique_ptr<simtest::UdpClient> udp;
  auto request = dqtest::Req(0, 202, 0);  // a counter group: 16 data bytes
  if (row.line == Line::kPty) {
    pty = std::make_unique<simtest::PtyClient>(sim.PtyPath(), rate);
    pty->Write(dqtest::RequestFrame(request));
  } else if (row.line == Line::kSerial) {
    Bytes frame = dqtest::RequestFrame(request);
    ASSERT_EQ(write(device.Master(), frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  } else {
    udp = std::make_unique<simtest::UdpClient>(sim.UdpPort());
    udp->Send(request, 1, static_cast<uint8_t>(row.baudCode));
  }
  Bytes seen;
  auto collect = [&](size_t count, int waitMs) {
    if (row.line == Line::kUdp) {
      auto datagram = udp->Receive(waitMs);
      if (datagram) seen.insert(seen.end(), datagram->begin() + dqbus::kUdpHeaderSize, datagram->end());
      return;
    }
    int fd = row.line == Line::kPty ? pty->Fd() : device.Master();
    while (seen.size() < count) {
      pollfd p{fd, POLLIN, 0};
      uint8_t byte;
      if (poll(&p, 1, waitMs) <= 0 || read(fd, &byte, 1) != 1) break;
      seen.push_back(byte);
    }
  };
  auto stepTo = [&](int64_t at) {
    clock.AdvanceMicros(at - clock.MonotonicMicros());
    sim.RunOnce(0);
  };

  for (int i = 0; i < 2000 && sim.Stats().requests == 0; ++i) sim.RunOnce(1);
  ASSERT_EQ(sim.Stats().requests, 1u);
  const int64_t heard = clock.MonotonicMicros();
  // When the module begins to send: a serial device has received the
  // request at the rate already; the pseudo-terminal and the converter's
  // bus still carry it.
  const int64_t start = heard + dqsim::Simulator::kTurnaroundMicros +
                        (row.line == Line::kSerial ? 0 : wire(dqbus::kRequestSize));
  // On the pseudo-terminal a byte comes once its stop bit is on the wire.
  const int64_t first = start + (row.line == Line::kPty ? wire(1) : 0);

  stepTo(first - 1);
  collect(1, 20);
  EXPECT_TRUE(seen.empty()) << "a byte before the reply is due";

  if (row.line == Line::kPty) {
    // Just before byte k + 1 is due exactly k + 1 bytes are out.
    for (size_t k : {0u, 1u, 4u}) {
      stepTo(first + wire(k + 1) - 1);
      collect(k + 1, 2000);
      EXPECT_EQ(seen.size(), k + 1);
      collect(k + 2, 20);
      EXPECT_EQ(seen.size(), k + 1) << "byte " << k + 1 << " early";
    }
    stepTo(first + wire(dqbus::kReplyMinSize + 64));
  } else if (row.line == Line::kSerial) {
    stepTo(first);  // the device's UART paces the bytes: all of them at once
  } else {
    // The converter sends the reply on once it has all of it.
    const int64_t whole = start + wire(dqbus::kReplyMinSize + 16);
    stepTo(whole - 1);
    collect(1, 20);
    EXPECT_TRUE(seen.empty()) << "the datagram before the whole reply was on the bus";
    stepTo(whole);
  }
  collect(dqbus::kReplyMinSize + 16, 2000);
  auto reply = dqbus::DecodeReply(seen.data(), seen.size());
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->data.size(), 16u);
}

INSTANTIATE_TEST_SUITE_P(Rows, WireTimingTest,
                         ::testing::Values(WireRow{Line::kPty, 0}, WireRow{Line::kPty, 4}, WireRow{Line::kPty, 8},
                                           WireRow{Line::kSerial, 4}, WireRow{Line::kUdp, 1}));

}  // namespace
