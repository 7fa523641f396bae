// The control socket: a UNIX stream socket on which people and tests send
// one command per line and get the answer lines back (the last one "ok" or
// "error: ..."). Serves any number of clients; never blocks.
#pragma once

#include <functional>
#include <poll.h>
#include <string>
#include <vector>

namespace dqsim {

class ControlServer {
 public:
  // Runs one command line; sets close to end that client's connection.
  using Handler = std::function<std::string(const std::string& line, bool& close)>;

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
  // Handles the events of the descriptors added last (fds points at them).
  void HandleEvents(const pollfd* fds, size_t count, const Handler& handler);

 private:
  struct Client {
    int fd = -1;
    std::string in;
    std::string out;
    bool closing = false;
  };
  void Accept();
  void ReadFrom(Client& client, const Handler& handler);
  void Flush(Client& client);

  int listen_ = -1;
  std::string path_;
  std::vector<Client> clients_;
};

}  // namespace dqsim
