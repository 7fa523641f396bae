// The control socket's limits, turn by turn: the work one loop turn does for
// its clients, a client that reads no answers, more connections than
// places, and who may connect.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TempDir.h"
#include "sim/control/ControlServer.h"

namespace {

using dqsim::ControlServer;

int Connect(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Everything there is to read now; eof set when the server closed.
std::string Drain(int fd, bool* eof = nullptr) {
  std::string text;
  char chunk[65536];
  ssize_t n;
  while ((n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0) text.append(chunk, static_cast<size_t>(n));
  if (eof != nullptr) *eof = n == 0;
  return text;
}

// A server whose commands answer `answerBytes` of text and "ok", counted.
class Server {
 public:
  explicit Server(size_t answerBytes = 0) : answer_(std::string(answerBytes, 'a') + "\nok\n") {
    std::string error;
    EXPECT_TRUE(server_.Open(Path(), &error)) << error;
  }
  std::string Path() const { return dir_.File("ctl.sock"); }
  // One loop turn; waits up to waitMs for a descriptor, none when work waits.
  void Turn(int waitMs = 0) {
    fds_.clear();
    server_.AddPollFds(fds_);
    poll(fds_.data(), fds_.size(), server_.HasWork() ? 0 : waitMs);
    server_.HandleEvents(fds_.data(), fds_.size(), [this](const std::string&, bool&) {
      ++runs;
      return answer_;
    });
  }
  size_t runs = 0;

 private:
  dqtest::TempDir dir_;
  std::string answer_;
  ControlServer server_;
  std::vector<pollfd> fds_;
};

TEST(ControlLimits, EachTurnRunsABoundedShareOfEveryClientsCommands) {
  const size_t k = ControlServer::kCommandsPerTurn;
  const struct {
    const char* name;
    size_t clients;
    size_t lines;  // each client sends them at once
  } rows[] = {
      {"one command", 1, 1},
      {"one client, a thousand commands", 1, 1000},
      {"three clients, a hundred each", 3, 100},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Server server;
    std::vector<int> clients;
    std::string lines;
    for (size_t i = 0; i < row.lines; ++i) lines += "show\n";
    for (size_t c = 0; c < row.clients; ++c) {
      clients.push_back(Connect(server.Path()));
      ASSERT_EQ(send(clients.back(), lines.data(), lines.size(), 0), static_cast<ssize_t>(lines.size()));
    }
    server.Turn(1000);  // accepted
    // Some of them every turn, never more than the share.
    while (server.runs < row.clients * row.lines) {
      const size_t before = server.runs;
      server.Turn(1000);
      ASSERT_GT(server.runs, before);
      ASSERT_LE(server.runs - before, k * row.clients);
    }
    for (int fd : clients) close(fd);
  }
}

TEST(ControlLimits, ClientThatReadsNoAnswersGetsNoMoreRunAndLosesNone) {
  const struct {
    const char* name;
    size_t answerBytes;
    size_t lines;
  } rows[] = {
      {"small answers", 100, 20000},
      {"answers of 10 KiB", 10 * 1024, 2000},
      {"answers larger than the limit", ControlServer::kMaxPendingOut * 2, 100},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Server server(row.answerBytes);
    int fd = Connect(server.Path());
    const std::string line = "show\n";
    std::string received;
    size_t sent = 0;
    // Writes while the server takes them, then reads nothing for a while.
    for (int turn = 0; turn < 2000; ++turn) {
      while (sent < row.lines && send(fd, line.data(), line.size(), MSG_DONTWAIT) > 0) ++sent;
      server.Turn();
    }
    EXPECT_LT(server.runs, row.lines);
    // Then reads as it goes: every answer comes, in full.
    for (int turn = 0; received.size() < row.lines * (row.answerBytes + 4) && turn < 1000000; ++turn) {
      while (sent < row.lines && send(fd, line.data(), line.size(), MSG_DONTWAIT) > 0) ++sent;
      server.Turn();
      received += Drain(fd);
    }
    EXPECT_EQ(server.runs, row.lines);
    EXPECT_EQ(received.size(), row.lines * (row.answerBytes + 4));
    close(fd);
  }
}

TEST(ControlLimits, ANewcomerBeyondThePlacesTakesTheIdlestOnes) {
  const size_t places = ControlServer::kMaxClients;
  const struct {
    const char* name;
    size_t connections;
    int active;  // this one sends a command after all have connected (-1: none)
    std::vector<size_t> closed;
  } rows[] = {
      {"every place taken, none closed", places, -1, {}},
      {"one more: the first is closed", places + 1, -1, {0}},
      {"one more: the first spoke last, the second is closed", places + 1, 0, {1}},
      {"eight more: the first eight are closed", places + 8, -1, {0, 1, 2, 3, 4, 5, 6, 7}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Server server;
    std::vector<int> fds;
    auto join = [&] {
      fds.push_back(Connect(server.Path()));
      server.Turn(1000);
    };
    for (size_t i = 0; i < places; ++i) join();
    if (row.active >= 0) {
      ASSERT_EQ(send(fds[static_cast<size_t>(row.active)], "show\n", 5, 0), 5);
      server.Turn(1000);
      ASSERT_EQ(Drain(fds[static_cast<size_t>(row.active)]), "\nok\n");
    }
    for (size_t i = places; i < row.connections; ++i) join();
    // The newest is served, and only the idlest are gone.
    ASSERT_EQ(send(fds.back(), "show\n", 5, 0), 5);
    server.Turn(1000);
    EXPECT_EQ(Drain(fds.back()), "\nok\n");
    std::vector<size_t> closed;
    for (size_t i = 0; i < fds.size(); ++i) {
      bool eof = false;
      Drain(fds[i], &eof);
      if (eof) closed.push_back(i);
    }
    EXPECT_EQ(closed, row.closed);
    for (int fd : fds) close(fd);
  }
}

TEST(ControlLimits, OnlyTheOwnerMayConnectWhateverTheUmask) {
  for (mode_t mask : {0000, 0022, 0077}) {
    SCOPED_TRACE(mask);
    const mode_t old = umask(mask);
    {
      Server server;
      struct stat st{};
      ASSERT_EQ(stat(server.Path().c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
    umask(old);
  }
}

}  // namespace
