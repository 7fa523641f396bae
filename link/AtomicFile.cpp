#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

std::string ErrorCauseText(int error) {
  switch (error) {
    case ENOENT: return "složka neexistuje";
    case EACCES:
    case EPERM: return "přístup odepřen";
    case EROFS: return "disk je jen pro čtení";
    case ENOSPC: return "na disku není místo";
    case EDQUOT: return "překročena kvóta disku";
    case EISDIR: return "je to složka";
    case ENOTDIR: return "část cesty není složka";
    case ENAMETOOLONG: return "příliš dlouhý název";
    case EIO: return "chyba vstupu/výstupu";
    case EEXIST: return "soubor již existuje";
    default: return std::strerror(error);
  }
}

namespace {

std::string ErrnoText(const char* step, int error) { return std::string(step) + ": " + ErrorCauseText(error); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a write must replace: the target of a symbolic link, so that the
// link survives the save.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
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

// Creates a new, empty file beside target under a name nobody else uses.
int CreateTemporary(const std::string& target, std::string& name) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
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

int ReadFileBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st;
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

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& reason) {
  const std::string target = ResolveTarget(path);
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    reason = "pod tímto názvem je složka";
    return false;
  }
  // A write-protected file is not replaced behind its back.
  if (exists && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    reason = ErrnoText("soubor je chráněn proti zápisu", errno);
    return false;
  }

  std::string temporary;
  const int fd = CreateTemporary(target, temporary);
  if (fd < 0) {
    reason = ErrnoText("nelze vytvořit dočasný soubor", errno);
    return false;
  }
  const auto fail = [&](const char* step, int error, bool open) {
    if (open) close(fd);
    unlink(temporary.c_str());
    reason = ErrnoText(step, error);
    return false;
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
  if (!WriteAll(fd, bytes)) return fail("nelze zapsat", errno, true);
  if (fsync(fd) != 0) return fail("nelze dokončit zápis na disk", errno, true);
  if (close(fd) != 0) return fail("nelze zavřít soubor", errno, false);
  if (rename(temporary.c_str(), target.c_str()) != 0) return fail("nelze nahradit soubor", errno, false);
  SyncFolder(FolderOf(target));
  return true;
}
