#include "Child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

extern char** environ;

namespace xbench {

int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool Child::Start(const std::vector<std::string>& args) {
  Stop();
  int fds[2];
  if (args.empty() || pipe2(fds, O_CLOEXEC) != 0) return false;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return false;
  }
  out_ = fds[0];
  return true;
}

std::vector<std::string> Child::ReadUntil(const std::string& last, int timeoutMs) {
  std::vector<std::string> lines;
  if (out_ < 0) return lines;
  const int64_t deadline = MonotonicNs() + int64_t{timeoutMs} * 1'000'000;
  for (;;) {
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      lines.push_back(pending_.substr(0, end));
      pending_.erase(0, end + 1);
      if (lines.back().rfind(last, 0) == 0) return lines;
    }
    const int leftMs = static_cast<int>((deadline - MonotonicNs()) / 1'000'000);
    pollfd wait{out_, POLLIN, 0};
    if (leftMs <= 0 || poll(&wait, 1, leftMs) <= 0) return {};
    char buffer[512];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) return {};
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

void Child::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  pid_ = -1;
  out_ = -1;
  pending_.clear();
}

std::string Field(const std::vector<std::string>& lines, const std::string& key) {
  for (const std::string& line : lines)
    if (line.rfind(key + " ", 0) == 0) return line.substr(key.size() + 1);
  return {};
}

}  // namespace xbench
