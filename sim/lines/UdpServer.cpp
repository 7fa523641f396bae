#include "sim/lines/UdpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace dqsim {

bool UdpServer::Open(const std::string& bindAddress, uint16_t port, std::string* error) {
  Close();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, bindAddress.c_str(), &addr.sin_addr) != 1) {
    if (error != nullptr) *error = "not an IPv4 address: " + bindAddress;
    return false;
  }
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (error != nullptr) {
      *error = "cannot bind UDP " + bindAddress + ":" + std::to_string(port) + ": " + std::strerror(errno);
    }
    Close();
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  bind_ = bindAddress;
  return true;
}

void UdpServer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool UdpServer::Receive(std::vector<uint8_t>& datagram, UdpPeer& from) {
  if (fd_ < 0) return false;
  if (buffer_.empty()) buffer_.resize(65536);
  socklen_t len = sizeof from.address;
  for (;;) {
    ssize_t n = recvfrom(fd_, buffer_.data(), buffer_.size(), 0, reinterpret_cast<sockaddr*>(&from.address), &len);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      datagram.clear();
      return false;
    }
    datagram.assign(buffer_.begin(), buffer_.begin() + n);
    return true;
  }
}

bool UdpServer::Send(const std::vector<uint8_t>& datagram, const UdpPeer& to) {
  if (fd_ < 0) return false;
  ssize_t n = sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to.address),
                     sizeof to.address);
  return n == static_cast<ssize_t>(datagram.size());
}

}  // namespace dqsim
