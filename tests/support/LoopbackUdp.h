// UDP ports on 127.0.0.1 for tests and benchmarks.
#pragma once

#include <cstdint>

namespace dqtest {

// A UDP socket bound to 127.0.0.1 on a port the system picks, and that port;
// -1 if it cannot be had.
int BindLoopbackUdp(uint16_t& port);

// A UDP port on 127.0.0.1 that is free right now (bound and released
// again); 0 if none could be had.
uint16_t FreeUdpPort();

// Makes the bound UDP socket fd stand for a port nobody listens on while
// it keeps the port from everyone else: connected to its own address, it
// takes datagrams from no other socket, so theirs are refused (ICMP port
// unreachable) as on a free port. False when it cannot.
bool RefuseOthers(int fd);

// A port given up by its owner, kept closed until destroyed (RefuseOthers),
// so that no other program's socket takes it and swallows a datagram a
// test expects to be refused.
class ClosedUdpPort {
 public:
  // Waits up to timeoutMs for the owner's socket to be gone.
  explicit ClosedUdpPort(uint16_t port, int timeoutMs = 2000);
  ~ClosedUdpPort() { Release(); }
  ClosedUdpPort(const ClosedUdpPort&) = delete;
  ClosedUdpPort& operator=(const ClosedUdpPort&) = delete;
  // False when another program holds the port.
  bool Held() const { return fd_ >= 0; }
  // Lets the port go, for its owner to take it back.
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace dqtest
