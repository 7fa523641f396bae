#include "UdpPeers.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>

#include "Child.h"
#include "LoopbackUdp.h"

namespace xbench {

namespace {

constexpr uint8_t kMagic0 = 0x44, kMagic1 = 0x51;  // "DQ"
constexpr uint8_t kKindReply = 0x81;
constexpr uint8_t kUdpVersion = 2;
constexpr uint8_t kRequestStart = 0x5B, kReplyStart = 0xA6;

void AppendCrc(std::vector<uint8_t>& bytes, size_t from) {
  const uint16_t crc = Crc16(bytes.data() + from, bytes.size() - from);
  bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
  bytes.push_back(static_cast<uint8_t>(crc >> 8));
}

// The minimal converter's reply to a request datagram (already checked to
// be one): header with kind 0x81, then the module's reply frame.
std::vector<uint8_t> ReplyDatagram(const uint8_t* request) {
  const uint8_t* frame = request + kUdpHeaderBytes;
  std::vector<uint8_t> reply(request, request + kUdpHeaderBytes);
  reply[3] = kKindReply;
  // frame: start, transaction (2), address, command, sub-code, b3-b7
  const uint8_t command = frame[4];
  const uint8_t count = command == 202 ? 16 : command == 1 ? 0 : 4;  // counters, outputs, the rest
  const size_t start = reply.size();
  reply.insert(reply.end(), {kReplyStart, frame[1], frame[2], frame[3], command, 0, count});
  for (uint8_t i = 0; i < count; ++i) reply.push_back(command == 102 && i < 2 ? frame[7 + i] : 0);
  AppendCrc(reply, start);
  return reply;
}

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  while (size-- > 0) {
    crc ^= *data++;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::vector<uint8_t> RequestDatagram(uint8_t address, const Command& command, uint16_t sequence) {
  const uint8_t lo = static_cast<uint8_t>(sequence & 0xFF), hi = static_cast<uint8_t>(sequence >> 8);
  const uint8_t bytes[kUdpHeaderBytes + kRequestFrameBytes - 2] = {
      kMagic0, kMagic1, kUdpVersion, 0x01, lo, hi, 8, 0,  // header: 115200 Bd
      kRequestStart, lo, hi, address, command.command, command.subcode, 0, command.b4, command.b5, 0, 0};
  std::vector<uint8_t> datagram(std::begin(bytes), std::end(bytes));
  AppendCrc(datagram, kUdpHeaderBytes);
  return datagram;
}

std::vector<uint8_t> EchoDatagram(size_t replyBytes) {
  std::vector<uint8_t> datagram(kUdpHeaderBytes + kRequestFrameBytes, 0);
  datagram[0] = static_cast<uint8_t>(replyBytes);
  return datagram;
}

int RunPeerServer() {
  uint16_t port = 0;
  const int fd = dqtest::BindLoopbackUdp(port);
  if (fd < 0) return 1;
  std::printf("port %u\n", port);
  std::fflush(stdout);
  uint8_t buffer[512] = {};
  for (;;) {
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (n <= 0) continue;
    const bool request = static_cast<size_t>(n) == kUdpHeaderBytes + kRequestFrameBytes && buffer[0] == kMagic0 &&
                         buffer[1] == kMagic1 && buffer[kUdpHeaderBytes] == kRequestStart;
    if (request) {
      const std::vector<uint8_t> reply = ReplyDatagram(buffer);
      sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer), peerLength);
    } else {
      sendto(fd, buffer, buffer[0], 0, reinterpret_cast<sockaddr*>(&peer), peerLength);
    }
  }
}

int ConnectedUdp(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  peer.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    close(fd);
    return -1;
  }
  // A lost datagram must not hang the benchmark.
  timeval timeout{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

bool RawRoundTrips(int fd, const std::vector<uint8_t>& request, size_t replyBytes, int count,
                   std::vector<double>& samplesUs) {
  uint8_t reply[512];
  for (int i = 0; i < count; ++i) {
    const int64_t t0 = MonotonicNs();
    if (send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) return false;
    if (recv(fd, reply, sizeof reply, 0) != static_cast<ssize_t>(replyBytes)) return false;
    samplesUs.push_back(static_cast<double>(MonotonicNs() - t0) / 1e3);
  }
  return true;
}

}  // namespace xbench
