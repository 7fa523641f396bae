// The UDP transport against a converter played by a loopback socket.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "core/ErrorCodes.h"
#include "Exchange.h"
#include "LoopbackUdp.h"
#include "TestUtil.h"
#include "UdpLink.h"

using dqtest::Bytes;
using dqtest::ReplyDatagram;

namespace {

class LoopbackSocket {
 public:
  LoopbackSocket() { fd_ = dqtest::BindLoopbackUdp(port_); }
  ~LoopbackSocket() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int Port() const { return port_; }
  // Refuses every datagram as a port nobody listens on, yet keeps the port
  // from other tests' sockets.
  void StopListening() { ASSERT_TRUE(dqtest::RefuseOthers(fd_)); }

  // Waits for one datagram; returns it and remembers its sender.
  std::vector<uint8_t> Receive(int timeoutMs = 2000) {
    pollfd wait{fd_, POLLIN, 0};
    if (poll(&wait, 1, timeoutMs) <= 0) return {};
    uint8_t buffer[512];
    socklen_t size = sizeof from_;
    ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from_), &size);
    return n > 0 ? std::vector<uint8_t>(buffer, buffer + n) : std::vector<uint8_t>();
  }
  // Waits for one datagram long enough for the UDP header; false when none came.
  bool ReceiveRequest() {
    request = Receive();
    if (request.size() < dqbus::kUdpHeaderSize) return false;
    sequence = static_cast<uint16_t>(request[4] | (request[5] << 8));
    return true;
  }
  void SendBack(const std::vector<uint8_t>& datagram) { SendTo(from_, datagram); }
  void SendTo(const sockaddr_in& to, const std::vector<uint8_t>& datagram) {
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  const sockaddr_in& From() const { return from_; }

  // The datagram ReceiveRequest took last, and its sequence number.
  std::vector<uint8_t> request;
  uint16_t sequence = 0;

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  sockaddr_in from_{};
};

dqbus::Request ReadStatus() { return dqtest::Req(5, 100, 0); }

// The converter: answers the next request with what make() returns for its sequence number.
template <typename Make>
std::thread Converter(LoopbackSocket& socket, Make make) {
  return std::thread([&socket, make] {
    if (socket.ReceiveRequest()) make(socket, socket.sequence, socket.request);
  });
}

// The reply frame to the request a datagram carries, with the given data.
std::vector<uint8_t> ReplyToDatagram(const std::vector<uint8_t>& datagram, std::vector<uint8_t> data,
                                     int transactionOffset = 0) {
  auto request = dqbus::DecodeRequest(datagram.data() + dqbus::kUdpHeaderSize, datagram.size() - dqbus::kUdpHeaderSize);
  if (!request) return {};
  request->transaction = static_cast<uint16_t>(request->transaction + transactionOffset);
  return dqtest::ReplyTo(*request, 0, std::move(data));
}

std::vector<uint8_t> StatusReply(const std::vector<uint8_t>& datagram) {
  return ReplyToDatagram(datagram, {0x12, 0, 0, 0});
}

// A converter on loopback and a link to it, exchanging ReadStatus().
class UdpExchange : public ::testing::Test {
 protected:
  int32_t Open(int udpTimeoutMs) { return dqbus::UdpLink::Open("127.0.0.1", converter.Port(), udpTimeoutMs, link); }
  dqbus::ExchangeResult Exchange(const dqbus::LinkSettings& settings) {
    return dqbus::Exchange(*link, dqbus::SteadyClock(), settings, ReadStatus());
  }
  LoopbackSocket converter;
  std::unique_ptr<dqbus::UdpLink> link;
};

}  // namespace

TEST(UdpAddress, OnlyDottedUnicastIPv4) {
  in_addr address{};
  EXPECT_TRUE(dqbus::ParseConverterAddress("127.0.0.1", address));
  EXPECT_TRUE(dqbus::ParseConverterAddress(" 127.1.2.3 ", address));
  for (const char* bad : {"", "localhost", "1.2.3", "1.2.3.4.5", "256.1.1.1", "0.0.0.0", "255.255.255.255",
                          "224.0.0.1", "127.0.0.1x", "::1"}) {
    EXPECT_FALSE(dqbus::ParseConverterAddress(bad, address)) << bad;
  }
  std::unique_ptr<dqbus::UdpLink> link;
  EXPECT_EQ(dqbus::UdpLink::Open("1.2.3", 5000, 100, link), dqerr::kInvalidIp);
  EXPECT_EQ(dqbus::UdpLink::Open("127.0.0.1", 0, 100, link), dqerr::kInvalidParameter);
  EXPECT_EQ(dqbus::UdpLink::Open("127.0.0.1", 65536, 100, link), dqerr::kInvalidParameter);
  EXPECT_EQ(dqbus::UdpLink::Open("127.0.0.1", 5000, 70000, link), dqerr::kInvalidParameter);
}

TEST_F(UdpExchange, RequestCarriesSequenceAndBaudCode) {
  ASSERT_EQ(Open(500), dqerr::kOk);
  ASSERT_EQ(link->Configure(dqbus::Clamped(19200, 7, 2)), dqerr::kOk);
  std::vector<uint8_t> seen;
  auto thread = Converter(converter, [&seen](LoopbackSocket& s, uint16_t sequence, std::vector<uint8_t> datagram) {
    seen = datagram;
    s.SendBack(ReplyDatagram(sequence, StatusReply(datagram)));
  });
  auto result = Exchange(dqbus::Clamped(19200, 7, 2));
  thread.join();
  EXPECT_EQ(result.code, dqerr::kOk);
  EXPECT_EQ(result.reply.data, Bytes({0x12, 0, 0, 0}));
  ASSERT_EQ(seen.size(), dqbus::kUdpHeaderSize + dqbus::kRequestSize);
  EXPECT_EQ(seen[0], 'D');
  EXPECT_EQ(seen[3], dqbus::kUdpKindRequest);
  EXPECT_EQ(static_cast<uint16_t>(seen[4] | (seen[5] << 8)), link->Sequence());
  EXPECT_EQ(seen[6], 5);  // 19200 Bd
  auto sent = ReadStatus();
  sent.transaction = link->Sequence();
  auto request = dqbus::EncodeRequest(sent);
  EXPECT_TRUE(std::equal(request.begin(), request.end(), seen.begin() + 8));
}

// The reply to the request is taken whatever comes around it: replies with
// the right sequence from another port, late ones, and ones carrying the
// frame of an earlier request are dropped; the baud code of a reply is not
// checked, the sequence and transaction numbers tie it to the request.
TEST_F(UdpExchange, TheRequestsReplyIsTakenWhateverComesAroundIt) {
  using Answer =
      void (*)(LoopbackSocket& s, LoopbackSocket& stranger, uint16_t sequence, const std::vector<uint8_t>& d);
  const struct {
    const char* name;
    int udpTimeoutMs;
    int timing;
    Answer answer;
  } rows[] = {
      {"wrong sequence and other sender first", 0, 100,
       [](LoopbackSocket& s, LoopbackSocket& stranger, uint16_t sequence, const std::vector<uint8_t>& d) {
         stranger.SendTo(s.From(), ReplyDatagram(sequence, ReplyToDatagram(d, {0xEE, 0, 0, 0})));
         s.SendBack(ReplyDatagram(static_cast<uint16_t>(sequence - 1), ReplyToDatagram(d, {0xDD, 0, 0, 0}, -1)));
         s.SendBack(ReplyDatagram(sequence, ReplyToDatagram(d, {0xCC, 0, 0, 0}, -1)));
         s.SendBack(ReplyDatagram(sequence, StatusReply(d)));
       }},
      {"another baud code in the reply", 200, 5,
       [](LoopbackSocket& s, LoopbackSocket&, uint16_t sequence, const std::vector<uint8_t>& d) {
         auto reply = ReplyDatagram(sequence, StatusReply(d));
         reply[6] = 3;  // 4800 Bd, not the request's 115200
         s.SendBack(reply);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    LoopbackSocket stranger;
    ASSERT_EQ(Open(row.udpTimeoutMs), dqerr::kOk);
    const dqbus::LinkSettings settings = dqbus::Clamped(115200, row.timing, 0);
    ASSERT_EQ(link->Configure(settings), dqerr::kOk);
    auto thread = Converter(converter, [&](LoopbackSocket& s, uint16_t sequence, std::vector<uint8_t> d) {
      row.answer(s, stranger, sequence, d);
    });
    auto result = Exchange(settings);
    thread.join();
    EXPECT_EQ(result.code, dqerr::kOk);
    EXPECT_EQ(result.reply.data, Bytes({0x12, 0, 0, 0}));
  }
}

TEST_F(UdpExchange, OnlyStaleRepliesTimeOutAndEachAttemptHasANewSequence) {
  ASSERT_EQ(Open(200), dqerr::kOk);
  std::vector<uint16_t> sequences;
  std::thread thread([&] {
    for (int i = 0; i < 2 && converter.ReceiveRequest(); ++i) {
      const uint16_t sequence = converter.sequence;
      sequences.push_back(sequence);
      const auto stale = ReplyToDatagram(converter.request, {1}, 7);
      converter.SendBack(ReplyDatagram(static_cast<uint16_t>(sequence + 7), stale));
    }
  });
  auto result = Exchange(dqbus::Clamped(115200, 0, 1));
  thread.join();
  EXPECT_EQ(result.code, dqerr::kTimeout);
  EXPECT_EQ(result.attempts, 2);
  ASSERT_EQ(sequences.size(), 2u);
  EXPECT_EQ(static_cast<uint16_t>(sequences[0] + 1), sequences[1]);
}

// After an exchange that got its reply the next attempt does not drain the
// socket: a duplicate of that reply still waiting there must not be taken
// for the next exchange's reply.
TEST_F(UdpExchange, DuplicateOfAnEarlierReplyIsNotTheNextReply) {
  ASSERT_EQ(Open(0), dqerr::kOk);
  std::promise<void> duplicateSent;
  std::thread thread([&] {
    if (!converter.ReceiveRequest()) return;
    const auto reply = ReplyDatagram(converter.sequence, StatusReply(converter.request));
    converter.SendBack(reply);
    converter.SendBack(reply);  // the network doubled it
    duplicateSent.set_value();
    if (!converter.ReceiveRequest()) return;
    converter.SendBack(ReplyDatagram(converter.sequence, ReplyToDatagram(converter.request, {0x34, 0, 0, 0})));
  });
  auto first = Exchange(dqbus::Clamped(115200, 100, 0));
  duplicateSent.get_future().wait();  // on loopback it is queued at the link by now
  auto second = Exchange(dqbus::Clamped(115200, 100, 0));
  thread.join();
  EXPECT_EQ(first.code, dqerr::kOk);
  EXPECT_EQ(second.code, dqerr::kOk);
  EXPECT_EQ(second.reply.data, Bytes({0x34, 0, 0, 0}));
  EXPECT_EQ(second.attempts, 1);
}

TEST_F(UdpExchange, NobodyListeningIsConnectionRefused) {
  ASSERT_EQ(Open(2000), dqerr::kOk);
  converter.StopListening();
  auto result = Exchange(dqbus::Clamped(115200, 0, 2));
  EXPECT_EQ(result.code, dqerr::kConnRefused);
  EXPECT_EQ(result.attempts, 1);
}
