// What a test holds of a line the simulator gave up (dqtest::ClosedUdpPort,
// dqtest::PtyNumberHold) stays gone for the test and out of every other
// program's reach, as a parallel run needs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "LoopbackUdp.h"
#include "PtyPair.h"
#include "TempDir.h"
#include "sim/simulator/Simulator.h"

namespace {

// A socket bound to 127.0.0.1:port, as another test's would be; -1 if refused.
int BindPort(uint16_t port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

// True when a datagram to 127.0.0.1:port is refused.
bool Refused(uint16_t port) {
  int fd = BindPort(0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  send(fd, "x", 1, 0);
  pollfd p{fd, POLLIN | POLLERR, 0};
  poll(&p, 1, 2000);
  char byte;
  const bool refused = recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == ECONNREFUSED;
  close(fd);
  return refused;
}

TEST(GoneLines, WhatATestHoldsStaysGoneAndOutOfOthersReach) {
  for (const char* line : {"udp", "pty"}) {
    SCOPED_TRACE(line);
    dqtest::TempDir dir;
    dqsim::SimOptions options;
    options.udpPort = 0;
    options.portMapPath = dir.File("ports.conf");
    dqsim::Simulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Open(&error)) << error;
    sim.StartThread();
    const uint16_t port = sim.UdpPort();
    const std::string pty = sim.PtyPath();
    auto number = std::make_unique<dqtest::PtyNumberHold>(pty);
    ASSERT_TRUE(number->Held());
    ASSERT_EQ(sim.Control(std::string("disappear ") + line), "ok\n");
    if (std::string(line) == "udp") {
      dqtest::ClosedUdpPort closed(port);
      ASSERT_TRUE(closed.Held());
      EXPECT_EQ(BindPort(port), -1) << "another socket took the port";
      EXPECT_TRUE(Refused(port));
    } else {
      EXPECT_NE(access(pty.c_str(), F_OK), 0) << "the old path is still there";
      // The lowest free numbers go first: a few new ones, none of them the old.
      int masters[4], slaves[4];
      for (int i = 0; i < 4; ++i) {
        char name[256] = {};
        ASSERT_EQ(openpty(&masters[i], &slaves[i], name, nullptr, nullptr), 0);
        EXPECT_NE(std::string(name), pty);
      }
      for (int i = 0; i < 4; ++i) {
        close(slaves[i]);
        close(masters[i]);
      }
    }
    number.reset();
    sim.StopThread();
  }
}

}  // namespace
