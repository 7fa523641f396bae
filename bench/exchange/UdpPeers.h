// The benchmark's own UDP ends, to split the full stack's time into its
// parts: a peer server (a raw echo, and a minimal converter that answers
// protocol requests at once) and raw clients with blocking send/recv.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace xbench {

// One request of the benchmark.
struct Command {
  const char* name;
  uint8_t command;
  uint8_t subcode;
  uint8_t b4, b5;
  size_t dataBytes;  // in the reply
};

// The request datagram of a command for a module address at 115200 Bd;
// the sequence is also the frame's transaction number.
std::vector<uint8_t> RequestDatagram(uint8_t address, const Command& command, uint16_t sequence);

// The peer server's main: binds 127.0.0.1 on a free port, prints "port N",
// then answers forever. A datagram with the protocol's magic gets a valid
// reply (16 zero bytes for 202, none for 1, else 4 zero bytes with the
// register numbers echoed for 102) with the request's
// sequence number; any other datagram is echoed with as many bytes as its
// first byte says.
int RunPeerServer();

// A UDP socket connected to 127.0.0.1:port, blocking, with a 1 s receive
// timeout; -1 on failure.
int ConnectedUdp(int port);

// `count` round trips of `request`, each waiting for one datagram of
// replyBytes; the latencies in microseconds are appended. False when a
// reply is missing or of another size.
bool RawRoundTrips(int fd, const std::vector<uint8_t>& request, size_t replyBytes, int count,
                   std::vector<double>& samplesUs);

// The datagram that makes the peer server echo replyBytes bytes, sized as
// a request datagram.
std::vector<uint8_t> EchoDatagram(size_t replyBytes);

}  // namespace xbench
