#include "FakeConverter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace faults {

namespace {

int BoundSocket(const char* address, uint16_t port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  inet_pton(AF_INET, address, &local.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

uint16_t LocalPort(int fd) {
  sockaddr_in local{};
  socklen_t size = sizeof local;
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
  return ntohs(local.sin_port);
}

}  // namespace

FakeConverter::~FakeConverter() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (int fd : sockets_) {
    if (fd >= 0) close(fd);
  }
}

bool FakeConverter::Start() {
  sockets_[kConverter] = BoundSocket("127.0.0.1", 0);
  if (sockets_[kConverter] < 0) return false;
  port_ = LocalPort(sockets_[kConverter]);
  sockets_[kOtherPort] = BoundSocket("127.0.0.1", 0);
  // 127.0.0.2 is loopback too: the same port number on another address.
  sockets_[kOtherAddress] = BoundSocket("127.0.0.2", port_);
  if (sockets_[kOtherPort] < 0 || sockets_[kOtherAddress] < 0) return false;
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void FakeConverter::SetPlan(Plan plan) {
  std::lock_guard<std::mutex> lock(mu_);
  plan_ = std::move(plan);
}

std::vector<uint8_t> FakeConverter::ReplyDatagram(const dqbus::UdpHeader& request, const std::vector<uint8_t>& frame) {
  dqbus::UdpHeader header = request;
  header.kind = dqbus::kUdpKindReply;
  return dqbus::EncodeUdp(header, frame.data(), frame.size());
}

std::vector<uint8_t> FakeConverter::Frame(const dqbus::Request& request, uint8_t count,
                                          const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame;
  frame.reserve(dqbus::kReplyHeaderSize + data.size() + 2);
  for (uint8_t byte : {dqbus::kReplyStart, static_cast<uint8_t>(request.transaction & 0xFF),
                       static_cast<uint8_t>(request.transaction >> 8), request.address, request.command, uint8_t{0},
                       count}) {
    frame.push_back(byte);
  }
  for (uint8_t byte : data) frame.push_back(byte);
  const uint16_t crc = dqbus::Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

void FakeConverter::Loop() {
  while (!stop_) {
    pollfd wait{sockets_[kConverter], POLLIN, 0};
    if (poll(&wait, 1, 20) <= 0) continue;
    uint8_t buffer[2048];
    sockaddr_in peer{};
    socklen_t peerSize = sizeof peer;
    const ssize_t n =
        recvfrom(sockets_[kConverter], buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &peerSize);
    if (n <= 0) continue;
    dqbus::UdpHeader header;
    const uint8_t* frame = nullptr;
    size_t frameSize = 0;
    if (!dqbus::DecodeUdp(buffer, static_cast<size_t>(n), header, frame, frameSize)) continue;
    const auto request = dqbus::DecodeRequest(frame, frameSize);
    if (!request) continue;
    ++requests_;
    Plan plan;
    {
      std::lock_guard<std::mutex> lock(mu_);
      plan = plan_;
    }
    if (!plan) continue;
    for (const Datagram& datagram : plan(header, *request)) {
      sendto(sockets_[datagram.source], datagram.bytes.data(), datagram.bytes.size(), 0,
             reinterpret_cast<const sockaddr*>(&peer), peerSize);
    }
  }
}

}  // namespace faults
