// The engine of a watch: samples the inputs, counters and status register
// of a module over an open link at an interval, shows them, and logs them
// to a crash-safe CSV file. No command-line parsing here; the caller opens
// the link, fills the options and owns the stop flag (set from a signal
// handler; looked at between exchanges and while waiting).
#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>

#include "WatchSample.h"

namespace dqcommission {

constexpr int kDefaultSyncMs = 1000;

struct WatchOptions {
  WatchSources sources;     // at least one
  int intervalMs = 0;       // 0: the shortest default interval of the sources chosen
  std::string csvPath;      // empty: no log
  bool masks = false;       // the log holds 32-bit images in hex, not one column per channel
  int syncMs = kDefaultSyncMs;
  int64_t durationMs = 0;   // 0: no limit; samples start only within it
  int64_t count = 0;        // 0: no limit
  bool table = false;       // redraw a table in place (a terminal), else a line per sample
};

// The interval a watch samples at.
int WatchInterval(const WatchOptions& options);

struct WatchResult {
  bool linkError = false;  // the link is not open (no driver handle); nothing was done
  bool fileError = false;  // the log could not be opened or written; `message` says why
  std::string message;     // the file error, or how an existing log was continued
  int64_t samples = 0;
  int64_t failedSamples = 0;
  bool stopped = false;    // ended by the stop flag
};

// Runs until the count or duration is reached, the stop flag is set, or
// the log fails. Every exchange goes to `link`; `out` gets the display,
// `notes` the notices (a torn row cut off when an existing log was opened).
WatchResult RunWatch(const ModuleLink& link, const WatchOptions& options, std::ostream& out, std::ostream& notes,
                     const std::atomic<bool>& stop);

}  // namespace dqcommission
