#include "CsvLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/AtomicFile.h"

namespace dqcommission {

namespace {

constexpr size_t kScanBlock = 64 * 1024;
constexpr size_t kHeaderLimit = 64 * 1024;

// The scan of WholeRowsEnd over a file read backwards block by block.
class TailScan {
 public:
  // Feeds bytes from the back; true once the answer is known.
  bool Feed(const char* bytes, size_t size, uint64_t offset) {
    for (size_t i = size; i-- > 0;) {
      const char c = bytes[i];
      if (c == '\n') {
        if (candidate_ >= 0 && !zeroInLine_) {
          end_ = static_cast<uint64_t>(candidate_) + 1;
          return true;
        }
        candidate_ = static_cast<int64_t>(offset + i);
        zeroInLine_ = false;
      } else if (c == '\0') {
        zeroInLine_ = true;
      }
    }
    return false;
  }
  // At the start of the file: the first line counts too.
  uint64_t End() const {
    if (end_ > 0) return end_;
    return candidate_ >= 0 && !zeroInLine_ ? static_cast<uint64_t>(candidate_) + 1 : 0;
  }

 private:
  int64_t candidate_ = -1;  // the latest line end seen, not yet known to end a clean line
  bool zeroInLine_ = false;
  uint64_t end_ = 0;
};

std::string ErrnoText(int error) { return std::strerror(error); }

// The scan over the file itself, so that a long log is not read whole.
bool FileWholeRowsEnd(int fd, uint64_t size, uint64_t& end) {
  TailScan scan;
  std::vector<char> block(kScanBlock);
  uint64_t offset = size;
  while (offset > 0) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(offset, kScanBlock));
    offset -= chunk;
    if (!dqcore::ReadExactlyAt(fd, offset, block.data(), chunk)) return false;
    if (scan.Feed(block.data(), chunk, offset)) break;
  }
  end = scan.End();
  return true;
}

// True when a file without one whole line holds no more than a header cut
// short (or the zero bytes of a write that never reached the disk): it was
// created by a log, and may be started afresh.
bool IsTornHeader(const std::string& start, const std::string& header) {
  const size_t text = start.find('\0');
  const std::string written = start.substr(0, text);
  if (text != std::string::npos && start.find_first_not_of('\0', text) != std::string::npos) return false;
  return header.compare(0, written.size(), written) == 0;
}

void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

uint64_t WholeRowsEnd(const std::string& content) {
  TailScan scan;
  scan.Feed(content.data(), content.size(), 0);
  return scan.End();
}

CsvLog::CsvLog(std::chrono::milliseconds syncInterval) : syncInterval_(syncInterval) {}

CsvLog::~CsvLog() { Close(); }

bool CsvLog::Fail(const std::string& what, int error) {
  error_ = path_ + ": " + what + (error != 0 ? " (" + ErrnoText(error) + ")" : std::string());
  return false;
}

bool CsvLog::Open(const std::string& path, const std::string& header, CsvOpenReport& report) {
  Close();
  path_ = path;
  error_.clear();
  dirty_ = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    syncWanted_ = quit_ = false;
    syncError_ = 0;
  }
  report = CsvOpenReport{};
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return Fail("cannot be opened for writing", errno);
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Fail("is not a regular file", 0);
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    return Fail(error == EWOULDBLOCK ? "is being written by another watch" : "cannot be locked", error);
  }
  fd_ = fd;

  const uint64_t size = static_cast<uint64_t>(info.st_size);
  uint64_t end = 0;
  if (size > 0 && !FileWholeRowsEnd(fd_, size, end)) {
    const int error = errno;
    Close();
    return Fail("cannot be read", error);
  }
  std::string start(static_cast<size_t>(std::min<uint64_t>(size, kHeaderLimit)), '\0');
  if (!start.empty() && !dqcore::ReadExactlyAt(fd_, 0, start.data(), start.size())) {
    const int error = errno;
    Close();
    return Fail("cannot be read", error);
  }
  if (end == 0) {
    if (!IsTornHeader(start, header)) {
      Close();
      return Fail("holds no rows of a value log; refused, nothing was changed", 0);
    }
    report.created = true;
  } else {
    const size_t lineEnd = start.find('\n');
    if (lineEnd == std::string::npos || start.compare(0, lineEnd, header) != 0) {
      Close();
      return Fail("has other columns than this watch writes; refused, nothing was changed (choose another file)",
                  0);
    }
  }
  if (end < size) {
    if (ftruncate(fd_, static_cast<off_t>(end)) != 0) {
      const int error = errno;
      Close();
      return Fail("its torn last row cannot be cut off", error);
    }
    report.cutBytes = size - end;
  }
  if (report.created && !WriteAll(header + "\n")) return false;
  if ((report.created || report.cutBytes > 0) && !Sync()) return false;
  if (size == 0) SyncFolderOf(path);
  syncer_ = std::thread(&CsvLog::SyncLoop, this);
  return true;
}

void CsvLog::SyncLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return syncWanted_ || quit_; });
    if (!syncWanted_) return;
    syncWanted_ = false;
    lock.unlock();
    const int error = fdatasync(fd_) == 0 ? 0 : errno;
    lock.lock();
    if (error != 0 && syncError_ == 0) syncError_ = error;
  }
}

bool CsvLog::SyncFailed() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (syncError_ == 0) return false;
  Fail("cannot be synced to the disk", syncError_);
  return true;
}

void CsvLog::StopSyncThread() {
  if (!syncer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  syncer_.join();
}

bool CsvLog::WriteAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("cannot be written", n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  return true;
}

bool CsvLog::Sync() {
  if (fdatasync(fd_) != 0) return Fail("cannot be synced to the disk", errno);
  dirty_ = false;
  return true;
}

bool CsvLog::Append(const std::string& row, Clock::time_point now) {
  if (fd_ < 0) return Fail("is not open", 0);
  if (SyncFailed() || !WriteAll(row + "\n")) return false;
  if (!dirty_) {
    dirty_ = true;
    dirtySince_ = now;
  }
  return SyncIfDue(now);
}

CsvLog::Clock::time_point CsvLog::SyncDue() const {
  return dirty_ ? dirtySince_ + syncInterval_ : Clock::time_point::max();
}

bool CsvLog::SyncIfDue(Clock::time_point now) {
  if (fd_ < 0) return true;
  if (SyncFailed()) return false;
  if (!dirty_ || now < SyncDue()) return true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    syncWanted_ = true;
  }
  wake_.notify_one();
  dirty_ = false;
  return true;
}

bool CsvLog::Close() {
  if (fd_ < 0) return true;
  StopSyncThread();
  // The last rows, and whatever a sync in flight had not covered.
  const bool synced = !SyncFailed() && Sync();
  close(fd_);
  fd_ = -1;
  return synced;
}

}  // namespace dqcommission
