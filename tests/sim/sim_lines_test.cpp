// The simulator's lines as a driver meets them: UDP on 127.0.0.1 and the
// pseudo-terminal, with the simulator's loop on its own thread.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "PortMap.h"
#include "LoopbackUdp.h"
#include "PtyPair.h"
#include "Frames.h"
#include "TempDir.h"
#include "SimTestUtil.h"
#include "sim/simulator/Simulator.h"

using dqtest::RequestFrame;
using dqtest::Req;

namespace {

using Bytes = std::vector<uint8_t>;

class LinesTest : public ::testing::Test {
 protected:
  void Start(dqsim::SimOptions options = {}) {
    options.udpPort = 0;
    options.inputPattern = false;
    if (options.portMapPath.empty()) options.portMapPath = dir_.File("ports.conf");
    sim_ = std::make_unique<dqsim::Simulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Open(&error)) << error;
    sim_->StartThread();
  }
  void TearDown() override {
    if (sim_) sim_->StopThread();
  }
  // The reply frame inside a UDP reply datagram, checked for header and sequence.
  static std::optional<dqbus::Reply> Unwrap(const std::optional<Bytes>& datagram, uint16_t sequence) {
    if (!datagram) return std::nullopt;
    dqbus::UdpHeader header;
    const uint8_t* frame = nullptr;
    size_t size = 0;
    if (!dqbus::DecodeUdp(datagram->data(), datagram->size(), header, frame, size)) return std::nullopt;
    EXPECT_EQ(header.kind, dqbus::kUdpKindReply);
    EXPECT_EQ(header.sequence, sequence);
    return dqbus::DecodeReply(frame, size);
  }
  static Bytes FrameOf(const std::optional<Bytes>& datagram) {
    return datagram ? Bytes(datagram->begin() + dqbus::kUdpHeaderSize, datagram->end()) : Bytes{};
  }

  dqtest::TempDir dir_;
  std::unique_ptr<dqsim::Simulator> sim_;
};

// ---- UDP ------------------------------------------------------------------------

TEST_F(LinesTest, UdpReplyEchoesSequenceAndBaudCode) {
  Start();
  simtest::UdpClient client(sim_->UdpPort());
  client.Send(Req(0, 200, 0), 0xBEEF);
  auto datagram = client.Receive();
  ASSERT_TRUE(datagram);
  EXPECT_EQ((*datagram)[6], 4);  // baud code of the request
  auto reply = Unwrap(datagram, 0xBEEF);
  ASSERT_TRUE(reply);
  EXPECT_EQ(std::string(reply->data.begin(), reply->data.end()), "DQ71");
}

TEST_F(LinesTest, UdpRequestsAtAnotherBaudCodeOrForAnotherAddressAreIgnored) {
  Start();
  simtest::UdpClient client(sim_->UdpPort());
  client.Send(Req(0, 200, 0), 1, 5);  // 19200 Bd: the module runs at 9600
  client.Send(Req(1, 200, 0), 2, 4);  // no module at 1
  client.SendRaw({'D', 'Q', 1, 1, 3, 0, 4, 0});  // the version before transaction numbers
  client.Send(Req(0, 200, 1), 4, 4);
  auto reply = Unwrap(client.Receive(), 4);  // the first datagram back answers the last request
  ASSERT_TRUE(reply);
  EXPECT_EQ(std::string(reply->data.begin(), reply->data.end()), "84/9");
  dqsim::SimStats stats = sim_->Stats();
  EXPECT_EQ(stats.wrongBaud, 1u);
  EXPECT_EQ(stats.otherAddress, 1u);
  EXPECT_EQ(stats.badDatagrams, 1u);
}

// The converter forwards one whole request frame at one of the nine rates,
// or nothing: each datagram is followed by a good request (sequence 0x7777);
// the first reply back shows whether the datagram was answered.
TEST_F(LinesTest, UdpConverterTakesOnlyOneWholeRequestFrame) {
  Start();
  simtest::UdpClient client(sim_->UdpPort());
  auto header = [](uint8_t version, uint8_t kind, uint8_t baudCode, uint8_t reserved) {
    return Bytes{'D', 'Q', version, kind, 0x11, 0x00, baudCode, reserved};
  };
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const Bytes frame = RequestFrame(Req(0, 200, 0));
  const Bytes oldFrame = {0x5A, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  struct Case {
    const char* name;
    Bytes datagram;
    bool answered;
  };
  const Case cases[] = {
      {"one request frame", join({header(2, 1, 4, 0), frame}), true},
      {"a reserved byte that is not 0 (not looked at)", join({header(2, 1, 4, 0x7F), frame}), true},
      {"a byte behind the frame", join({header(2, 1, 4, 0), frame, {0}}), false},
      {"noise ahead of the frame", join({header(2, 1, 4, 0), {0x55}, frame}), false},
      {"two frames", join({header(2, 1, 4, 0), frame, frame}), false},
      {"baud code 9", join({header(2, 1, 9, 0), frame}), false},
      {"baud code 255", join({header(2, 1, 255, 0), frame}), false},
      {"version 1", join({header(1, 1, 4, 0), frame}), false},
      {"a frame without transaction number", join({header(1, 1, 4, 0), oldFrame}), false},
      {"kind reply", join({header(2, 0x81, 4, 0), frame}), false},
      {"a header only", header(2, 1, 4, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    client.SendRaw(c.datagram);
    client.Send(Req(0, 200, 1), 0x7777);
    auto first = client.Receive();
    ASSERT_TRUE(first);
    const uint16_t sequence = static_cast<uint16_t>((*first)[4] | ((*first)[5] << 8));
    EXPECT_EQ(sequence, c.answered ? 0x0011 : 0x7777);
    if (c.answered) {
      ASSERT_TRUE(Unwrap(client.Receive(), 0x7777));
    }
  }
}

TEST_F(LinesTest, UdpCarriesEveryCatalogueCommand) {
  Start();
  simtest::UdpClient client(sim_->UdpPort());
  struct {
    uint8_t command, subcode;
    std::array<uint8_t, 5> params;
    size_t count;
  } commands[] = {
      {0, 64, {}, 4},      {0, 112, {}, 4},     {1, 64, {0, 1, 2, 3, 4}, 0},
      {1, 112, {}, 0},     {1, 113, {0, 255, 255, 255, 255}, 0},
      {100, 0, {}, 4},     {100, 1, {}, 4},     {100, 2, {}, 4},
      {100, 3, {}, 4},     {100, 4, {}, 4},     {100, 5, {}, 4},
      {100, 6, {}, 4},     {101, 0, {}, 0},     {101, 1, {0, 1, 2, 3, 0}, 0},
      {101, 2, {0, 1, 2, 3, 0}, 0},             {102, 0, {0, 0x3F, 0x3F, 0, 0}, 4},
      {103, 0, {0, 1, 1, 0, 0}, 0},             {200, 0, {}, 4},
      {200, 1, {}, 4},     {200, 2, {}, 4},     {202, 0, {}, 16},
      {202, 7, {}, 16},
  };
  uint16_t sequence = 100;
  for (const auto& c : commands) {
    client.Send(Req(0, c.command, c.subcode, c.params), ++sequence);
    auto reply = Unwrap(client.Receive(), sequence);
    ASSERT_TRUE(reply) << int(c.command) << "/" << int(c.subcode);
    EXPECT_EQ(reply->status, dqbus::msOk) << int(c.command) << "/" << int(c.subcode);
    EXPECT_EQ(reply->command, c.command);
    EXPECT_EQ(reply->data.size(), c.count) << int(c.command) << "/" << int(c.subcode);
  }
  EXPECT_EQ(sim_->Snapshot(0).outputs, 0x04030201u);
}

// ---- faults as they look on the wire ------------------------------------------------

TEST_F(LinesTest, EveryFaultShowsOnTheWire) {
  Start();
  simtest::UdpClient client(sim_->UdpPort());
  uint16_t sequence = 0;
  auto exchange = [&](const std::string& fault) {
    if (!fault.empty()) {
      EXPECT_EQ(sim_->Control("fault " + fault), "ok\n");
    }
    client.Send(Req(0, 200, 0), ++sequence);
    return client.Receive();
  };
  auto good = FrameOf(exchange(""));
  ASSERT_TRUE(dqbus::DecodeReply(good.data(), good.size()));

  auto crc = FrameOf(exchange("corrupt-crc"));
  EXPECT_EQ(crc.size(), good.size());
  EXPECT_FALSE(dqbus::DecodeReply(crc.data(), crc.size()));

  auto foreign = dqbus::DecodeReply(FrameOf(exchange("wrong-address")).data(), good.size());
  ASSERT_TRUE(foreign);
  EXPECT_EQ(foreign->address, 1);

  auto echo = dqbus::DecodeReply(FrameOf(exchange("wrong-command 17")).data(), good.size());
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->command, 17);

  EXPECT_EQ(FrameOf(exchange("truncate 4")), Bytes(good.begin(), good.begin() + 4));

  auto oversize = FrameOf(exchange("oversize-count 100"));
  ASSERT_GE(oversize.size(), dqbus::kReplyHeaderSize);
  EXPECT_EQ(oversize[dqbus::kReplyCountOffset], 100);
  EXPECT_EQ(oversize.size(), dqbus::kReplyHeaderSize + 100 + 2);

  auto extra = FrameOf(exchange("oversize-extra 5"));
  EXPECT_EQ(extra.size(), good.size() + 5);

  auto garbage = FrameOf(exchange("garbage 9"));
  EXPECT_EQ(garbage, Bytes(9, 0x55));

  auto busy = dqbus::DecodeReply(FrameOf(exchange("status 5")).data(), dqbus::kReplyMinSize);
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->status, dqbus::msBusy);

  // Silence: nothing comes back for this request, the next one is answered.
  EXPECT_EQ(sim_->Control("drop 1"), "ok\n");
  client.Send(Req(0, 200, 1), 500);
  client.Send(Req(0, 200, 2), 501);
  auto after = client.Receive();
  ASSERT_TRUE(after);
  EXPECT_EQ(Unwrap(after, 501)->data, Bytes({'1', '.', '0', '3'}));
  EXPECT_TRUE(sim_->Faults().empty());
}

TEST_F(LinesTest, DelayedReplyDoesNotLeaveEarly) {
  Start();
  simtest::UdpClient client(sim_->UdpPort());
  ASSERT_EQ(sim_->Control("fault delay 60"), "ok\n");
  auto start = std::chrono::steady_clock::now();
  client.Send(Req(0, 200, 0), 1);
  ASSERT_TRUE(client.Receive(5000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

TEST_F(LinesTest, PersistentFaultLastsUntilCleared) {
  Start();
  simtest::UdpClient client(sim_->UdpPort());
  ASSERT_EQ(sim_->Control("fault wrong-address 9 always"), "ok\n");
  for (uint16_t s = 1; s <= 3; ++s) {
    client.Send(Req(0, 200, 0), s);
    EXPECT_EQ(Unwrap(client.Receive(), s)->address, 9);
  }
  ASSERT_EQ(sim_->Control("fault clear wrong-address"), "ok\n");
  client.Send(Req(0, 200, 0), 4);
  EXPECT_EQ(Unwrap(client.Receive(), 4)->address, 0);
}

TEST_F(LinesTest, DisappearedUdpRefusesAndComesBackOnAppear) {
  Start();
  uint16_t old = sim_->UdpPort();
  ASSERT_EQ(sim_->Control("disappear udp"), "ok\n");
  EXPECT_EQ(sim_->UdpPort(), 0);
  dqtest::ClosedUdpPort closed(old);  // no other test's socket takes it meanwhile
  ASSERT_TRUE(closed.Held());
  // A connected socket learns that nothing listens any more. The simulator's
  // loop may hold the closed socket until it wakes, so probe a few times and
  // never block on the answer.
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(old);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  auto frame = RequestFrame(Req(0, 200, 0));
  bool refused = false;
  for (int attempt = 0; attempt < 20 && !refused; ++attempt) {
    send(fd, frame.data(), frame.size(), MSG_DONTWAIT);
    uint8_t buffer[64];
    pollfd p{fd, POLLIN | POLLERR, 0};
    poll(&p, 1, 250);
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    refused = n < 0 && errno == ECONNREFUSED;
  }
  EXPECT_TRUE(refused);
  close(fd);

  std::string error;
  ASSERT_TRUE(sim_->Appear(&error)) << error;
  ASSERT_NE(sim_->UdpPort(), 0);
  simtest::UdpClient client(sim_->UdpPort());
  client.Send(Req(0, 200, 0), 7);
  EXPECT_TRUE(Unwrap(client.Receive(), 7));
}

// ---- pseudo-terminal --------------------------------------------------------------

TEST_F(LinesTest, PtyAnswersAtTheModuleRateAndIgnoresOtherRates) {
  Start();
  simtest::PtyClient port(sim_->PtyPath(), 19200);
  ASSERT_TRUE(port.IsOpen());
  port.Write(RequestFrame(Req(0, 200, 0)));  // 19200 Bd: not heard
  // Wait until the simulator has seen it, so the next frame is not read
  // together with it after the rate change.
  for (int i = 0; i < 2000 && sim_->Stats().requests == 0; ++i) usleep(1000);
  ASSERT_EQ(sim_->Stats().wrongBaud, 1u);
  port.SetRate(9600);
  port.Write(RequestFrame(Req(0, 200, 2)));
  auto frame = port.ReadReplyFrame();
  auto reply = dqbus::DecodeReply(frame.data(), frame.size());
  ASSERT_TRUE(reply);
  EXPECT_EQ(std::string(reply->data.begin(), reply->data.end()), "1.03");
}

TEST_F(LinesTest, PtySurvivesTheDriverClosingAndReopeningIt) {
  Start();
  std::string path = sim_->PtyPath();
  for (int round = 0; round < 3; ++round) {
    simtest::PtyClient port(path, 9600);
    ASSERT_TRUE(port.IsOpen());
    port.Write(RequestFrame(Req(0, 0, 64)));
    auto frame = port.ReadReplyFrame();
    EXPECT_TRUE(dqbus::DecodeReply(frame.data(), frame.size())) << round;
  }
}

TEST_F(LinesTest, PtyFaultsTruncateAndExtraBytes) {
  Start();
  simtest::PtyClient port(sim_->PtyPath(), 9600);
  ASSERT_EQ(sim_->Control("fault truncate 3"), "ok\n");
  port.Write(RequestFrame(Req(0, 200, 0)));
  EXPECT_EQ(port.Read(3), (Bytes{dqbus::kReplyStart, 0, 0}));  // start and transaction number
  ASSERT_EQ(sim_->Control("fault oversize-extra 4"), "ok\n");
  port.Write(RequestFrame(Req(0, 200, 0)));
  const size_t frameSize = dqbus::kReplyMinSize + 4;
  auto bytes = port.Read(frameSize + 4);  // the truncated frame left nothing behind
  ASSERT_EQ(bytes.size(), frameSize + 4);
  EXPECT_EQ(bytes[0], dqbus::kReplyStart);
  EXPECT_TRUE(dqbus::DecodeReply(bytes.data(), frameSize));
  EXPECT_EQ(Bytes(bytes.begin() + frameSize, bytes.end()), Bytes(4, 0));
}

TEST_F(LinesTest, PtyIsEnteredInThePortMapAndRemovedAtClose) {
  dqsim::SimOptions o;
  o.comPort = 4;
  const std::string map = dir_.File("ports.conf");
  dqtest::WriteFile(map, "# mine\nCOM1=/dev/ttyUSB0\ncom4=/dev/old\n");
  o.portMapPath = map;
  Start(o);
  std::string pty = sim_->PtyPath();
  EXPECT_EQ(dqports::LookupIn(map, 4), pty);
  EXPECT_EQ(dqports::LookupIn(map, 1), std::string("/dev/ttyUSB0"));

  // A new pseudo-terminal after disappear/appear; the map follows it.
  std::string error;
  ASSERT_TRUE(sim_->Disappear("pty", &error));
  EXPECT_EQ(sim_->PtyPath(), "");
  EXPECT_EQ(dqports::LookupIn(map, 4), pty);  // the driver finds the port missing
  ASSERT_TRUE(sim_->Appear(&error)) << error;
  EXPECT_EQ(dqports::LookupIn(map, 4), sim_->PtyPath());

  sim_->StopThread();
  sim_.reset();
  EXPECT_FALSE(dqports::LookupIn(map, 4));
  EXPECT_EQ(dqports::LookupIn(map, 1), std::string("/dev/ttyUSB0"));
  EXPECT_NE(dqtest::ReadFile(map).find("# mine\n"), std::string::npos);
}

TEST_F(LinesTest, DisappearingPtyGivesTheDriverAHangUp) {
  Start();
  simtest::PtyClient port(sim_->PtyPath(), 9600);
  ASSERT_TRUE(port.IsOpen());
  ASSERT_EQ(sim_->Control("disappear pty"), "ok\n");
  uint8_t byte;
  EXPECT_LE(read(port.Fd(), &byte, 1), 0);  // end of file or EIO: the line is gone
}

// ---- a serial device --------------------------------------------------------------

// The output rate the simulator set on its serial line.
speed_t LineSpeed(const dqtest::PtyPair& device) {
  termios tio{};
  tcgetattr(device.Slave(), &tio);
  return cfgetospeed(&tio);
}

TEST_F(LinesTest, SerialDeviceIsServedAtTheModuleRateAndFollowsItsChange) {
  dqtest::PtyPair device;  // the far end of a real serial device
  dqsim::SimOptions o;
  o.pty = false;
  o.udp = false;
  o.serialDevice = device.SlavePath();
  Start(o);
  EXPECT_EQ(LineSpeed(device), static_cast<speed_t>(B9600));
  auto request = RequestFrame(Req(0, 200, 0));
  ASSERT_EQ(write(device.Master(), request.data(), request.size()), static_cast<ssize_t>(request.size()));
  auto frame = simtest::ReadReplyFrame(device.Master());
  auto reply = dqbus::DecodeReply(frame.data(), frame.size());
  ASSERT_TRUE(reply);
  EXPECT_EQ(std::string(reply->data.begin(), reply->data.end()), "DQ71");

  ASSERT_EQ(sim_->WriteRegister(0, 0x3E, 7), dqbus::msOk);
  sim_->Restart(0);
  EXPECT_EQ(LineSpeed(device), static_cast<speed_t>(B57600));
}

}  // namespace
