#include "Watch.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "CsvLog.h"
#include "WatchCsv.h"
#include "WatchScreen.h"
#include "core/LiveIntervals.h"

namespace dqcommission {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Longest sleep between two looks at the stop flag.
constexpr milliseconds kStopPoll{50};

// Sleeps until `until`, syncing the log when it falls due and looking at
// the stop flag every kStopPoll. False when stopped or the sync failed.
bool WaitUntil(Clock::time_point until, CsvLog* log, const std::atomic<bool>& stop, WatchResult& result) {
  for (;;) {
    if (stop.load()) return false;
    const Clock::time_point now = Clock::now();
    if (log != nullptr && !log->SyncIfDue(now)) {
      result.fileError = true;
      result.message = log->Error();
      return false;
    }
    if (now >= until) return true;
    Clock::time_point wake = std::min(until, now + kStopPoll);
    if (log != nullptr) wake = std::min(wake, std::max(now, log->SyncDue()));
    std::this_thread::sleep_until(wake);
  }
}

}  // namespace

int WatchInterval(const WatchOptions& options) {
  if (options.intervalMs > 0) return options.intervalMs;
  int interval = dqcore::kStatusIntervalMs;
  if (options.sources.inputs) interval = std::min(interval, dqcore::kInputsIntervalMs);
  if (options.sources.counters) interval = std::min(interval, dqcore::kCountersIntervalMs);
  return interval;
}

WatchResult RunWatch(const ModuleLink& link, const WatchOptions& options, std::ostream& out, std::ostream& notes,
                     const std::atomic<bool>& stop) {
  WatchResult result;
  // A zero handle sends nothing and leaves the reply bytes as they were:
  // every sample would show values never read.
  if (link.handle == 0) {
    result.linkError = true;
    result.message = "the link to the module is not open";
    return result;
  }
  std::unique_ptr<CsvLog> log;
  if (!options.csvPath.empty()) {
    log = std::make_unique<CsvLog>(milliseconds(std::max(1, options.syncMs)));
    CsvOpenReport report;
    if (!log->Open(options.csvPath, WatchCsvHeader(options.sources, options.masks), report)) {
      result.fileError = true;
      result.message = log->Error();
      return result;
    }
    if (report.cutBytes > 0) {
      result.message = options.csvPath + ": a torn last row (" + std::to_string(report.cutBytes) +
                       " bytes) was cut off; rows are appended";
      notes << result.message << '\n';
    }
  }

  WatchScreen screen(out, options.sources, options.table);
  const milliseconds interval(WatchInterval(options));
  const Clock::time_point start = Clock::now();
  Clock::time_point next = start;
  for (;;) {
    if (options.count > 0 && result.samples >= options.count) break;
    if (!WaitUntil(next, log.get(), stop, result)) break;
    const Clock::time_point tickStart = Clock::now();
    const auto wallTime = std::chrono::system_clock::now();
    const milliseconds elapsed = std::chrono::duration_cast<milliseconds>(tickStart - start);
    if (options.durationMs > 0 && elapsed.count() >= options.durationMs) break;

    WatchSample sample = ReadWatchSample(link, options.sources, stop);
    if (sample.interrupted) break;
    sample.when = wallTime;
    sample.elapsedMs = elapsed.count();
    ++result.samples;
    if (sample.error != 0) ++result.failedSamples;
    if (log && !log->Append(WatchCsvRow(sample, options.sources, options.masks), Clock::now())) {
      result.fileError = true;
      result.message = log->Error();
      break;
    }
    screen.Show(sample, result.samples, result.failedSamples);

    // The next tick an interval after this one began, or at once when the
    // wire took longer than that: no backlog of missed ticks.
    next = std::max(tickStart + interval, Clock::now());
  }
  result.stopped = stop.load();
  if (log && !log->Close() && !result.fileError) {
    result.fileError = true;
    result.message = log->Error();
  }
  return result;
}

}  // namespace dqcommission
