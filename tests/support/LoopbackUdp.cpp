#include "LoopbackUdp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace dqtest {

int BindLoopbackUdp(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

uint16_t FreeUdpPort() {
  uint16_t port = 0;
  const int fd = BindLoopbackUdp(port);
  if (fd < 0) return 0;
  close(fd);
  return port;
}

bool RefuseOthers(int fd) {
  sockaddr_in self{};
  socklen_t size = sizeof self;
  return getsockname(fd, reinterpret_cast<sockaddr*>(&self), &size) == 0 &&
         connect(fd, reinterpret_cast<sockaddr*>(&self), size) == 0;
}

ClosedUdpPort::ClosedUdpPort(uint16_t port, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // The owner's socket may outlive its close for a moment (a poll of
  // another thread still holding it).
  for (;;) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && RefuseOthers(fd_)) return;
    Release();
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void ClosedUdpPort::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace dqtest
