// The control socket: a UNIX stream socket on which people and tests send
// one command per line and get the answer lines back (the last one "ok" or
// "error: ..."). Never blocks, and does a bounded amount of work per loop
// turn, so that the bus keeps its timing whatever a client sends:
//   - one read of at most one line's worth per client and turn, and no read
//     while a client has unrun lines or unread answers above the limit;
//   - at most kCommandsPerTurn commands per client and turn;
//   - at most kMaxClients connections; a newcomer beyond them takes the
//     place of the client that has been idle longest.
// The socket file is made 0600 (only its owner may connect), whatever the
// umask.
#pragma once

#include <cstdint>
#include <functional>
#include <poll.h>
#include <string>
#include <vector>

namespace dqsim {

class ControlServer {
 public:
  // Runs one command line; sets close to end that client's connection.
  using Handler = std::function<std::string(const std::string& line, bool& close)>;

  static constexpr size_t kMaxLine = 4096;             // characters of a command line
  static constexpr size_t kCommandsPerTurn = 8;        // per client and loop turn
  static constexpr size_t kMaxPendingOut = 64 * 1024;  // unread answers that stop a client's commands
  static constexpr size_t kMaxClients = 32;

  ControlServer() = default;
  ~ControlServer() { Close(); }
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Refuses a path where another simulator is listening and any existing
  // file that is not a socket; a stale socket file is replaced.
  bool Open(const std::string& path, std::string* error);
  // Closes every connection and removes the socket file.
  void Close();
  bool IsOpen() const { return listen_ >= 0; }
  const std::string& Path() const { return path_; }

  // Adds the descriptors to watch; returns how many were added.
  size_t AddPollFds(std::vector<pollfd>& fds) const;
  // True when a client has commands waiting that the next turn runs
  // without waiting for its descriptor.
  bool HasWork() const;
  // Handles the events of the descriptors added last (fds points at them),
  // and runs the waiting commands.
  void HandleEvents(const pollfd* fds, size_t count, const Handler& handler);

 private:
  struct Client {
    int fd = -1;
    std::string in;
    std::string out;
    uint64_t lastActive = 0;  // activity_ when bytes last moved
    bool closing = false;     // answer what is there, then close
    bool eof = false;         // the client sends no more
    bool gone = false;        // nothing can reach the client any more
  };
  static bool HasLine(const Client& client);
  static bool WantsInput(const Client& client);
  static bool Runnable(const Client& client);
  void Accept();
  void Evict();
  void ReadFrom(Client& client);
  void Run(Client& client, const Handler& handler);
  void Flush(Client& client);

  int listen_ = -1;
  std::string path_;
  std::vector<Client> clients_;
  uint64_t activity_ = 0;
};

}  // namespace dqsim
