#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <stdexcept>

#include "Protocol.h"

namespace dqtest {

PtyPair::PtyPair() {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) throw std::runtime_error("openpty");
  slavePath_ = name;
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
  CloseMaster();
  CloseSlave();
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::CloseSlave() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

std::vector<uint8_t> PtyPair::ReadRequest(int timeoutMs) {
  std::vector<uint8_t> bytes;
  pollfd wait{master_, POLLIN, 0};
  while (poll(&wait, 1, bytes.empty() ? timeoutMs : 20) > 0 && (wait.revents & POLLIN) != 0) {
    uint8_t chunk[256];
    ssize_t n = read(master_, chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (bytes.size() >= dqbus::kRequestSize) break;
  }
  return bytes;
}

void PtyPair::Send(const std::vector<uint8_t>& bytes) {
  if (!bytes.empty() && write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("pty write");
  }
}

PtyNumberHold::PtyNumberHold(const std::string& slavePath) {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return;
  while (const dirent* entry = readdir(fds)) {
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0 || std::string(target, static_cast<size_t>(n)) != slavePath) continue;
    fd_ = fcntl(std::atoi(entry->d_name), F_DUPFD_CLOEXEC, 0);
    if (fd_ >= 0) break;
  }
  closedir(fds);
}

PtyNumberHold::~PtyNumberHold() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace dqtest
