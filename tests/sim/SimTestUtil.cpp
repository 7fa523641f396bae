#include "SimTestUtil.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "Frames.h"
#include "LoopbackUdp.h"
#include "sim/lines/StreamPort.h"

namespace simtest {

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::vector<uint8_t> ReadBytes(int fd, size_t count, int timeoutMs) {
  std::vector<uint8_t> out;
  int64_t deadline = NowMs() + timeoutMs;
  while (out.size() < count) {
    int64_t left = deadline - NowMs();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
    uint8_t buffer[512];
    ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

std::vector<uint8_t> ReadReplyFrame(int fd, int timeoutMs) {
  std::vector<uint8_t> frame = ReadBytes(fd, dqbus::kReplyHeaderSize, timeoutMs);
  if (frame.size() < dqbus::kReplyHeaderSize) return frame;
  std::vector<uint8_t> rest = ReadBytes(fd, frame[dqbus::kReplyCountOffset] + 2u, timeoutMs);
  frame.insert(frame.end(), rest.begin(), rest.end());
  return frame;
}

UdpClient::UdpClient(uint16_t serverPort) : port_(serverPort) {
  uint16_t local = 0;
  fd_ = dqtest::BindLoopbackUdp(local);
}

UdpClient::~UdpClient() {
  if (fd_ >= 0) close(fd_);
}

void UdpClient::SendRaw(const std::vector<uint8_t>& datagram) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void UdpClient::Send(const dqbus::Request& request, uint16_t sequence, uint8_t baudCode) {
  SendRaw(dqtest::RequestDatagram(request, sequence, baudCode));
}

std::optional<std::vector<uint8_t>> UdpClient::Receive(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
  std::vector<uint8_t> datagram(65536);
  ssize_t n = recv(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT);
  if (n < 0) return std::nullopt;
  datagram.resize(static_cast<size_t>(n));
  return datagram;
}

PtyClient::PtyClient(const std::string& path, uint32_t rate) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return;
  dqsim::MakeRawLine(fd_, rate, nullptr);
  tcflush(fd_, TCIOFLUSH);
}

PtyClient::~PtyClient() {
  if (fd_ >= 0) close(fd_);
}

void PtyClient::SetRate(uint32_t rate) { dqsim::MakeRawLine(fd_, rate, nullptr); }

void PtyClient::Write(const std::vector<uint8_t>& bytes) {
  ssize_t n = write(fd_, bytes.data(), bytes.size());
  (void)n;
}

}  // namespace simtest
