// The UDP side of the simulator, standing in for the LAN converter: one
// datagram carries one frame behind the header of Protocol.h.
#pragma once

#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <vector>

namespace dqsim {

struct UdpPeer {
  sockaddr_in address{};
};

class UdpServer {
 public:
  UdpServer() = default;
  ~UdpServer() { Close(); }
  UdpServer(const UdpServer&) = delete;
  UdpServer& operator=(const UdpServer&) = delete;

  // bindAddress is dotted IPv4; port 0 picks a free port.
  bool Open(const std::string& bindAddress, uint16_t port, std::string* error);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  uint16_t Port() const { return port_; }
  const std::string& BindAddress() const { return bind_; }

  // One datagram, or false when none is waiting.
  bool Receive(std::vector<uint8_t>& datagram, UdpPeer& from);
  bool Send(const std::vector<uint8_t>& datagram, const UdpPeer& to);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::vector<uint8_t> buffer_;  // sized once for the largest datagram
  std::string bind_;
};

}  // namespace dqsim
