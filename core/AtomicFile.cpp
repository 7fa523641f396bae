#include "core/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <set>

namespace dqcore {

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a write must replace: the end of a chain of symbolic links, so
// that the links survive the save. A link to a file that is not there yet
// names the place where the new file goes. Returns 0 or an errno value.
int ResolveTarget(const std::string& path, std::string& target, bool& followed) {
  target = path;
  followed = false;
  for (int hop = 0; hop < 40; ++hop) {  // the kernel's own limit
    struct stat st;
    // Anything but a link here (a missing file included) is the target; a
    // path that cannot be examined fails later with its own cause.
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    char text[PATH_MAX];
    const ssize_t n = readlink(target.c_str(), text, sizeof text);
    if (n < 0) return errno;
    if (static_cast<size_t>(n) >= sizeof text) return ENAMETOOLONG;
    const std::string next(text, static_cast<size_t>(n));
    // A relative link is relative to the folder that holds the link.
    target = !next.empty() && next.front() == '/' ? next : FolderOf(target) + "/" + next;
    followed = true;
  }
  return ELOOP;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Temporary files of this process's saves still under way (by their
// serial number), so that a save in one thread never takes another
// thread's file for a leftover.
class ActiveTemporaries {
 public:
  unsigned Begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned serial = ++counter_;
    active_.insert(serial);
    return serial;
  }
  void End(unsigned serial) {
    std::lock_guard<std::mutex> lock(mutex_);
    active_.erase(serial);
  }
  bool IsActive(unsigned long long serial) {
    std::lock_guard<std::mutex> lock(mutex_);
    return serial <= UINT_MAX && active_.count(static_cast<unsigned>(serial)) != 0;
  }

 private:
  std::mutex mutex_;
  unsigned counter_ = 0;
  std::set<unsigned> active_;
};

ActiveTemporaries& Active() {
  static ActiveTemporaries active;
  return active;
}

// Name of a temporary file: the target's name, ".tmp-", the pid of the
// saving process, "-", a serial number of that process.
std::string TemporaryName(const std::string& target, unsigned serial) {
  return target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(serial);
}

// Creates a new, empty, unnamed file in target's folder, locks it and only
// then gives it its name, so that no other program's clean-up ever sees it
// unlocked. Returns -1 where the folder takes no unnamed files (or /proc is
// missing); nothing is left behind then.
int CreateLockedUnnamed(const std::string& target, std::string& name, unsigned& serial) {
  const int fd = open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
      serial = Active().Begin();
      name = TemporaryName(target, serial);
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return fd;
      const int error = errno;
      Active().End(serial);
      if (error != EEXIST) break;
    }
  }
  close(fd);
  return -1;
}

// Creates a new, empty file beside target under a name nobody else uses and
// locks it for as long as it stays open: a leftover that can be locked
// belongs to no save under way. The lock is taken before the file has its
// name where the file system allows, otherwise at once after.
int CreateTemporary(const std::string& target, std::string& name, unsigned& serial) {
  const int unnamed = CreateLockedUnnamed(target, name, serial);
  if (unnamed >= 0) return unnamed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    serial = Active().Begin();
    name = TemporaryName(target, serial);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // A file system without locks still has the pid in the name to tell.
      (void)flock(fd, LOCK_EX | LOCK_NB);
      return fd;
    }
    const int error = errno;
    Active().End(serial);
    if (error != EEXIST) {
      errno = error;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

// Digits only, at least one, into value; false on anything else or overflow.
bool ParseDigits(const std::string& text, unsigned long long& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

// Whether name is a temporary file of target's saves whose save has ended
// (killed midway, or this process's own that it could not remove).
bool IsFinishedTemporary(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string rest = name.substr(prefix.size());
  const size_t dash = rest.find('-');
  unsigned long long pid = 0, serial = 0;
  if (dash == std::string::npos || !ParseDigits(rest.substr(0, dash), pid) ||
      !ParseDigits(rest.substr(dash + 1), serial)) {
    return false;
  }
  // Never a pid that kill() would take for a process group or all processes.
  if (pid == 0 || pid > static_cast<unsigned long long>(INT_MAX)) return false;
  if (static_cast<pid_t>(pid) == getpid()) return !Active().IsActive(serial);
  // A process that exists, whether ours to signal or not, may still be saving.
  return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Removes the temporary files that saves killed midway left beside target.
void RemoveLeftovers(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = BaseName(target) + ".tmp-";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsFinishedTemporary(name, prefix)) continue;
    const std::string path = folder + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    bool keep = false;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      // Locked: a save is writing it after all (a reused pid, another pid
      // namespace). Another file by now: it is not the one examined.
      struct stat same;
      keep = (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) || fstat(fd, &same) != 0 ||
             same.st_dev != st.st_dev || same.st_ino != st.st_ino;
    }
    if (!keep) unlink(path.c_str());
    if (fd >= 0) close(fd);
  }
  closedir(dir);
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // The rename has already happened; a folder that cannot be synced (some
  // file systems refuse) does not make the save a failure.
  (void)fsync(fd);
  close(fd);
}

}  // namespace

int CheckReplaceable(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  if (access(folder.c_str(), W_OK | X_OK) != 0) return errno;
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  return access(path.c_str(), W_OK) == 0 ? 0 : errno;
}

bool ReadExactlyAt(int fd, uint64_t offset, void* into, size_t size) {
  auto* bytes = static_cast<unsigned char*>(into);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int ReadFileBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0) {
    const int error = errno;
    // A socket cannot be opened at all; it is just another non-regular file.
    if (error == ENXIO && stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return EINVAL;
    return error;
  }
  if (fstat(fd, &st) != 0) {
    const int error = errno;
    close(fd);
    return error;
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  }
  std::string data;
  data.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      return error;
    }
    if (n == 0) break;
    data.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  bytes.swap(data);
  return 0;
}

SaveResult ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  SaveResult result;
  const auto failed = [&result](SaveStep step, int error) {
    result.step = step;
    result.error = error;
    return result;
  };
  bool followed = false;
  const int linkError = ResolveTarget(path, result.target, followed);
  if (linkError != 0) return failed(SaveStep::kResolveLink, linkError);
  const std::string& target = result.target;
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return failed(SaveStep::kTargetIsFolder, EISDIR);
  if (!exists && followed) {
    // A link to a file not there yet: the file is created where it points.
    struct stat folder;
    const int error = stat(FolderOf(target).c_str(), &folder) != 0 ? errno
                      : S_ISDIR(folder.st_mode)                    ? 0
                                                                   : ENOTDIR;
    if (error != 0) return failed(SaveStep::kLinkTargetFolder, error);
  }
  // A write-protected file is not replaced behind its back.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    return failed(SaveStep::kWriteProtected, errno);
  }

  std::string temporary;
  unsigned serial = 0;
  const int fd = CreateTemporary(target, temporary, serial);
  if (fd < 0) return failed(SaveStep::kCreateTemporary, errno);
  const auto fail = [&](SaveStep step, int error, bool open) {
    if (open) close(fd);
    unlink(temporary.c_str());
    Active().End(serial);
    return failed(step, error);
  };

  if (exists) {
    // Owner first: changing it may clear set-id bits that the mode restores.
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only the superuser may give a file away; the new file stays ours.
    }
    if (fchmod(fd, old.st_mode & 07777) != 0) {
      // A file system without permissions; the content matters more.
    }
  }
  if (!WriteAll(fd, bytes)) return fail(SaveStep::kWrite, errno, true);
  if (fsync(fd) != 0) return fail(SaveStep::kSync, errno, true);
  // The file stays open, and so locked, until it has its final name: closed
  // before the rename, it would be a leftover to another program's clean-up.
  if (rename(temporary.c_str(), target.c_str()) != 0) return fail(SaveStep::kRename, errno, true);
  Active().End(serial);
  if (close(fd) != 0) {
    // The content was synced and is in place; a late error still counts.
    result.step = SaveStep::kClose;
    result.error = errno;
    return result;
  }
  SyncFolder(FolderOf(target));
  RemoveLeftovers(target);
  return result;
}

}  // namespace dqcore
