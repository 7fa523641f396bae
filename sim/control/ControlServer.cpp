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

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxPendingOut = 1 << 20;
constexpr size_t kMaxClients = 32;

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
  if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_, 8) != 0) {
    return fail(std::strerror(errno));
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
    short events = client.out.empty() ? POLLIN : static_cast<short>(POLLIN | POLLOUT);
    fds.push_back(pollfd{client.fd, events, 0});
  }
  return 1 + clients_.size();
}

void ControlServer::HandleEvents(const pollfd* fds, size_t count, const Handler& handler) {
  if (listen_ < 0 || count == 0) return;
  size_t known = std::min(count - 1, clients_.size());
  for (size_t i = 0; i < known; ++i) {
    const pollfd& p = fds[1 + i];
    Client& client = clients_[i];
    if (p.fd != client.fd) continue;
    if (p.revents & POLLIN) ReadFrom(client, handler);
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      client.closing = true;
      client.out.clear();
    }
    Flush(client);
  }
  for (auto it = clients_.begin(); it != clients_.end();) {
    if (it->closing && it->out.empty()) {
      close(it->fd);
      it = clients_.erase(it);
    } else {
      ++it;
    }
  }
  if (fds[0].revents & POLLIN) Accept();
}

void ControlServer::Accept() {
  for (;;) {
    int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (clients_.size() >= kMaxClients) {
      static const char kBusy[] = "error: too many control connections\n";
      ssize_t ignored = send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL);
      (void)ignored;
      close(fd);
      continue;
    }
    clients_.push_back(Client{fd, {}, {}, false});
  }
}

void ControlServer::ReadFrom(Client& client, const Handler& handler) {
  char buffer[1024];
  for (;;) {
    ssize_t n = read(client.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {  // the client is done; answer what it sent and close
      client.closing = true;
      break;
    }
    client.in.append(buffer, static_cast<size_t>(n));
  }
  size_t newline;
  while (!client.in.empty() && (newline = client.in.find('\n')) != std::string::npos) {
    if (newline > kMaxLine) break;
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
  if (client.in.find('\n') > kMaxLine && client.in.size() > kMaxLine) {
    client.out += "error: line too long\n";
    client.in.clear();
    client.closing = true;
  }
  if (client.out.size() > kMaxPendingOut) {  // a client that never reads
    client.out.clear();
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
      client.closing = true;
      return;
    }
    client.out.erase(0, static_cast<size_t>(n));
  }
}

}  // namespace dqsim
