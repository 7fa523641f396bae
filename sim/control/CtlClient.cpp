#include "sim/control/CtlClient.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <istream>
#include <ostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace dqsim {

namespace {

bool IsLastLine(const std::string& line) { return line == "ok" || line.compare(0, 6, "error:") == 0; }

class Connection {
 public:
  ~Connection() {
    if (fd_ >= 0) close(fd_);
  }

  bool Connect(const std::string& path, std::string& error) {
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
      error = "control socket path empty or too long";
      return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      error = "cannot reach the simulator at " + path + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }

  bool Exchange(const std::string& line, std::string& answer, std::string& error, int timeoutMs) {
    std::string request = line + "\n";
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
      error = std::string("cannot send: ") + std::strerror(errno);
      return false;
    }
    answer.clear();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      size_t newline;
      while ((newline = buffer_.find('\n')) != std::string::npos) {
        std::string got = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        answer += got + "\n";
        if (IsLastLine(got)) return true;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        error = "the simulator did not answer in time";
        return false;
      }
      pollfd p{fd_, POLLIN, 0};
      int ready = poll(&p, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) continue;
      char chunk[4096];
      ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = "the simulator closed the connection";
        return false;
      }
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  int fd_ = -1;
  std::string buffer_;
};

}  // namespace

bool SendControlLine(const std::string& socketPath, const std::string& line, std::string& answer, std::string& error,
                     int timeoutMs) {
  Connection connection;
  return connection.Connect(socketPath, error) && connection.Exchange(line, answer, error, timeoutMs);
}

int RunCtl(const std::string& socketPath, const std::vector<std::string>& words, std::istream& in, std::ostream& out,
           std::ostream& err) {
  Connection connection;
  std::string error;
  if (!connection.Connect(socketPath, error)) {
    err << "dq7184-sim ctl: " << error << "\n";
    return 2;
  }
  int status = 0;
  auto run = [&](const std::string& line) {
    std::string answer;
    if (!connection.Exchange(line, answer, error, 5000)) {
      err << "dq7184-sim ctl: " << error << "\n";
      status = 2;
      return false;
    }
    // Data lines to out; the final line only when it is an error.
    size_t last = answer.rfind('\n', answer.size() - 2);
    std::string data = last == std::string::npos ? std::string() : answer.substr(0, last + 1);
    std::string final = answer.substr(last == std::string::npos ? 0 : last + 1);
    out << data;
    if (final != "ok\n") {
      err << final;
      status = 1;
    }
    return true;
  };
  if (!words.empty()) {
    std::string line;
    for (const auto& word : words) line += (line.empty() ? "" : " ") + word;
    run(line);
    return status;
  }
  for (std::string line; std::getline(in, line);) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (!run(line)) break;
  }
  return status;
}

}  // namespace dqsim
