// A CSV log that survives a crash or a power loss: each row goes out whole
// in one write to a file opened for appending, and the data is synced to
// the disk at a set interval, so a crash loses at most the rows since the
// last sync and never leaves half a row behind a whole one. The syncs run
// on a thread of the log's own, so that a slow disk never delays the
// writer's next row. Opening an
// existing log cuts a torn last row (a power loss in the middle of a write,
// or the zero bytes a file system leaves for data it never wrote), refuses
// a file whose header is another one, and appends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "core/NonCopyable.h"

namespace dqcommission {

struct CsvOpenReport {
  bool created = false;   // a new file, or an empty one given its header
  uint64_t cutBytes = 0;  // bytes of a torn last row cut off
};

class CsvLog : dqcore::NonCopyable {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CsvLog(std::chrono::milliseconds syncInterval);
  ~CsvLog();  // syncs and closes

  // Opens or creates `path` for rows under `header` (one line, no line
  // end). False with Error() when the file cannot be used; a refused file
  // is left exactly as it was. The file is locked against a second writer.
  bool Open(const std::string& path, const std::string& header, CsvOpenReport& report);

  // Appends one row (no line end) in one write; has the rows synced when
  // the oldest one not yet on the disk is a sync interval old. False with
  // Error() when the write or an earlier sync failed.
  bool Append(const std::string& row, Clock::time_point now);
  // When the rows written are due on the disk (Clock::time_point::max()
  // when every row is synced or being synced), and the sync itself (on
  // the log's thread; false when an earlier one failed).
  Clock::time_point SyncDue() const;
  bool SyncIfDue(Clock::time_point now);
  // Syncs and closes; false with Error() when a sync failed.
  bool Close();

  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& what, int error);
  bool Sync();
  bool WriteAll(const std::string& bytes);
  void SyncLoop();
  bool SyncFailed();
  void StopSyncThread();

  std::chrono::milliseconds syncInterval_;
  int fd_ = -1;
  std::string path_;
  bool dirty_ = false;
  Clock::time_point dirtySince_{};
  std::string error_;

  std::thread syncer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool syncWanted_ = false;  // guarded by mutex_, as the two below
  bool quit_ = false;
  int syncError_ = 0;        // errno of a failed sync on the thread
};

// Where the whole rows of a log's content end: just behind the last line
// end whose line holds no zero byte, 0 when there is none.
uint64_t WholeRowsEnd(const std::string& content);

}  // namespace dqcommission
