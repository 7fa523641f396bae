#include "sim/control/ControlServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace dqsim {

namespace {

// New connections taken per loop turn (the listen backlog).
constexpr int kAcceptsPerTurn = 8;

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  addr = sockaddr_un{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

bool ControlServer::Open(const std::string& path, std::string* error) {
  Close();
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = "control socket " + path + ": " + why;
    if (listen_ >= 0) close(listen_);
    listen_ = -1;
    return false;
  };
  sockaddr_un addr{};
  if (!FillAddress(path, addr)) return fail("path empty or too long");
  struct stat st{};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return fail("exists and is not a socket");
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (probe >= 0) close(probe);
    if (live) return fail("another program is listening there");
    unlink(path.c_str());
  }
  listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_ < 0) return fail(std::strerror(errno));
  // Connections are refused until listen, and from then on the file is
  // its owner's only, whatever the umask made of it at bind.
  if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return fail(std::strerror(errno));
  if (chmod(path.c_str(), 0600) != 0 || listen(listen_, kAcceptsPerTurn) != 0) {
    const std::string why = std::strerror(errno);
    unlink(path.c_str());
    return fail(why);
  }
  path_ = path;
  return true;
}

void ControlServer::Close() {
  for (auto& client : clients_) close(client.fd);
  clients_.clear();
  if (listen_ >= 0) {
    close(listen_);
    unlink(path_.c_str());
  }
  listen_ = -1;
}

size_t ControlServer::AddPollFds(std::vector<pollfd>& fds) const {
  if (listen_ < 0) return 0;
  fds.push_back(pollfd{listen_, POLLIN, 0});
  for (const auto& client : clients_) {
    short events = WantsInput(client) ? POLLIN : 0;
    if (!client.out.empty()) events = static_cast<short>(events | POLLOUT);
    fds.push_back(pollfd{client.fd, events, 0});
  }
  return 1 + clients_.size();
}

bool ControlServer::HasLine(const Client& client) { return client.in.find('\n') != std::string::npos; }

// More input only once the lines there are run and the answers mostly read.
bool ControlServer::WantsInput(const Client& client) {
  return !client.closing && !client.eof && client.out.size() < kMaxPendingOut && !HasLine(client);
}

bool ControlServer::Runnable(const Client& client) {
  return !client.closing && client.out.size() < kMaxPendingOut && HasLine(client);
}

bool ControlServer::HasWork() const {
  return std::any_of(clients_.begin(), clients_.end(), [](const Client& client) { return Runnable(client); });
}

void ControlServer::HandleEvents(const pollfd* fds, size_t count, const Handler& handler) {
  if (listen_ < 0 || count == 0) return;
  size_t known = std::min(count - 1, clients_.size());
  for (size_t i = 0; i < known; ++i) {
    const pollfd& p = fds[1 + i];
    Client& client = clients_[i];
    if (p.fd != client.fd) continue;
    if (p.revents & (POLLERR | POLLNVAL)) {
      client.gone = client.eof = client.closing = true;
    } else if (p.revents & POLLHUP) {
      client.gone = true;  // the commands it sent still run
    }
    if (client.gone) client.out.clear();
    if (p.revents & POLLOUT) Flush(client);
    if ((p.revents & (POLLIN | POLLHUP)) && WantsInput(client)) ReadFrom(client);
    Run(client, handler);
    if (client.gone) client.out.clear();
    Flush(client);
  }
  for (auto it = clients_.begin(); it != clients_.end();) {
    if ((it->closing || it->eof) && it->out.empty() && (it->closing || !HasLine(*it))) {
      close(it->fd);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
  if (fds[0].revents & POLLIN) Accept();
}

void ControlServer::Accept() {
  for (int i = 0; i < kAcceptsPerTurn; ++i) {
    int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (clients_.size() >= kMaxClients) Evict();
    clients_.push_back(Client{fd, {}, {}, ++activity_, false, false, false});
  }
}

// Makes room for a newcomer: the client idle longest is closed.
void ControlServer::Evict() {
  auto idlest = std::min_element(clients_.begin(), clients_.end(), [](const Client& a, const Client& b) {
    return a.lastActive < b.lastActive;
  });
  if (idlest == clients_.end()) return;
  if (!idlest->gone) {
    static const char kEvicted[] = "error: connection closed: every place was taken and this one was idle longest\n";
    ssize_t ignored = send(idlest->fd, kEvicted, sizeof kEvicted - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)ignored;
  }
  close(idlest->fd);
  clients_.erase(idlest);
}

// One read, of at most what completes the longest line.
void ControlServer::ReadFrom(Client& client) {
  char buffer[kMaxLine + 1];
  const size_t room = sizeof buffer - std::min(client.in.size(), sizeof buffer);
  if (room == 0) return;
  ssize_t n;
  do {
    n = read(client.fd, buffer, room);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
  if (n <= 0) {  // the client is done; answer what it sent and close
    client.eof = true;
    return;
  }
  client.in.append(buffer, static_cast<size_t>(n));
  client.lastActive = ++activity_;
}

void ControlServer::Run(Client& client, const Handler& handler) {
  for (size_t done = 0; done < kCommandsPerTurn && Runnable(client); ++done) {
    const size_t newline = client.in.find('\n');
    std::string line = client.in.substr(0, newline);
    client.in.erase(0, newline + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    bool close = false;
    client.out += handler(line, close);
    if (close) {
      client.closing = true;
      client.in.clear();
    }
  }
  if (!client.closing && !HasLine(client) && client.in.size() > kMaxLine) {
    client.out += "error: line too long\n";
    client.in.clear();
    client.closing = true;
  }
}

void ControlServer::Flush(Client& client) {
  while (!client.out.empty()) {
    ssize_t n = send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      client.out.clear();
      client.gone = client.eof = client.closing = true;
      return;
    }
    client.out.erase(0, static_cast<size_t>(n));
    client.lastActive = ++activity_;
  }
}

}  // namespace dqsim
