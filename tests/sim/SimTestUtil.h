// Helpers of the simulator suites: raw clients for the simulator's lines
// (UDP socket, pseudo-terminal).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Protocol.h"
#include "core/NonCopyable.h"

namespace simtest {

// Bytes arriving on `fd` until exactly `count` have come or timeoutMs passed.
std::vector<uint8_t> ReadBytes(int fd, size_t count, int timeoutMs);
// Bytes of one reply frame (start byte, header, count, CRC), or fewer on timeout.
std::vector<uint8_t> ReadReplyFrame(int fd, int timeoutMs = 2000);

// A UDP client on 127.0.0.1.
class UdpClient : dqcore::NonCopyable {
 public:
  explicit UdpClient(uint16_t serverPort);
  ~UdpClient();
  void SendRaw(const std::vector<uint8_t>& datagram);
  void Send(const dqbus::Request& request, uint16_t sequence, uint8_t baudCode = 4);
  // The next datagram, or nothing within timeoutMs.
  std::optional<std::vector<uint8_t>> Receive(int timeoutMs = 2000);

 private:
  int fd_ = -1;
  uint16_t port_;
};

// Opens the slave side of a pseudo-terminal as a driver would: raw, 8N1.
class PtyClient : dqcore::NonCopyable {
 public:
  PtyClient(const std::string& path, uint32_t rate);
  ~PtyClient();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void SetRate(uint32_t rate);
  void Write(const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> Read(size_t count, int timeoutMs = 2000) { return ReadBytes(fd_, count, timeoutMs); }
  std::vector<uint8_t> ReadReplyFrame(int timeoutMs = 2000) { return simtest::ReadReplyFrame(fd_, timeoutMs); }

 private:
  int fd_ = -1;
};

}  // namespace simtest
