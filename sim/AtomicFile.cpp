#include "AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dqsim {

namespace {

void SetError(std::string* error, const std::string& what, const std::string& path, int err) {
  if (error != nullptr) *error = what + " " + path + ": " + std::strerror(err);
}

bool MakeParentDirs(const std::string& path) {
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    std::string dir = path.substr(0, pos);
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& content, std::string* error, bool* missing) {
  if (missing != nullptr) *missing = false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (missing != nullptr) *missing = errno == ENOENT;
    SetError(error, "cannot open", path, errno);
    return false;
  }
  content.clear();
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetError(error, "cannot read", path, errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error, bool makeDirs) {
  if (makeDirs && !MakeParentDirs(path)) {
    SetError(error, "cannot create the folder of", path, errno);
    return false;
  }
  std::string temp = path + ".tmp." + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetError(error, "cannot create", temp, errno);
    return false;
  }
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      close(fd);
      unlink(temp.c_str());
      SetError(error, "cannot write", temp, err);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  int syncResult = fsync(fd);
  int syncErr = errno;
  if (close(fd) != 0 || syncResult != 0) {
    int err = syncResult != 0 ? syncErr : errno;
    unlink(temp.c_str());
    SetError(error, "cannot write", temp, err);
    return false;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    unlink(temp.c_str());
    SetError(error, "cannot replace", path, err);
    return false;
  }
  return true;
}

}  // namespace dqsim
