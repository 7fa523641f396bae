#include "UdpPeers.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "Child.h"
#include "Frames.h"
#include "LoopbackUdp.h"

namespace xbench {

namespace {

// The minimal converter's reply to a request datagram: the module's reply
// frame (16 zero bytes for 202, none for 1, else 4 zero bytes with the
// register numbers echoed for 102); empty when it carries no request.
std::vector<uint8_t> ReplyDatagram(const uint8_t* datagram, size_t size) {
  dqbus::UdpHeader header;
  const uint8_t* frame = nullptr;
  size_t frameSize = 0;
  if (!dqbus::DecodeUdp(datagram, size, header, frame, frameSize)) return {};
  const auto request = dqbus::DecodeRequest(frame, frameSize);
  if (!request) return {};
  const uint8_t command = request->command;
  std::vector<uint8_t> data(command == 202 ? 16 : command == 1 ? 0 : 4, 0);  // counters, outputs, the rest
  if (command == 102) std::copy(request->params.begin() + 1, request->params.begin() + 3, data.begin());
  return dqtest::ReplyDatagram(header.sequence, dqtest::ReplyTo(*request, 0, std::move(data)), header.baudCode);
}

}  // namespace

std::vector<uint8_t> RequestDatagram(uint8_t address, const Command& command, uint16_t sequence) {
  const dqbus::Request request =
      dqtest::Req(address, command.command, command.subcode, {0, command.b4, command.b5, 0, 0}, sequence);
  return dqtest::RequestDatagram(request, sequence, 8);  // 115200 Bd
}

std::vector<uint8_t> EchoDatagram(size_t replyBytes) {
  std::vector<uint8_t> datagram(dqbus::kUdpHeaderSize + dqbus::kRequestSize, 0);
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
    const std::vector<uint8_t> reply = ReplyDatagram(buffer, static_cast<size_t>(n));
    if (!reply.empty()) {
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
