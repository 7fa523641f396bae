// Helpers of the simulator suites: a scratch folder, request frames, and
// raw clients for the simulator's lines (UDP socket, pseudo-terminal).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Protocol.h"

namespace simtest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

dqbus::Request Req(uint8_t address, uint8_t command, uint8_t subcode, std::array<uint8_t, 5> params = {});
std::vector<uint8_t> Frame(const dqbus::Request& request);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// A UDP client on 127.0.0.1.
class UdpClient {
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
class PtyClient {
 public:
  PtyClient(const std::string& path, uint32_t rate);
  ~PtyClient();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void SetRate(uint32_t rate);
  void Write(const std::vector<uint8_t>& bytes);
  // Bytes arriving until exactly `count` have come or timeoutMs passed.
  std::vector<uint8_t> Read(size_t count, int timeoutMs = 2000);
  // Bytes of one reply frame (start byte, header, count, CRC), or fewer on timeout.
  std::vector<uint8_t> ReadReplyFrame(int timeoutMs = 2000);

 private:
  int fd_ = -1;
};

}  // namespace simtest
