// One sample of a watch: the inputs, counters and status register chosen,
// read with the exchanges of the live windows, and what failed. A value is
// present only when it was read in this sample; nothing is carried over
// from an earlier one.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "Dekl.h"

namespace dqcommission {

constexpr int kChannelCount = 32;

// What a watch reads in each sample.
struct WatchSources {
  bool inputs = false;
  bool counters = false;
  bool status = false;
  bool Any() const { return inputs || counters || status; }
};

// The link a watch or link test talks over: the record's interface and
// driver handle, and the module's address.
struct ModuleLink {
  TInterfaceType type = itComPort;
  int32_t handle = 0;
  uint8_t address = 0;
};

struct WatchSample {
  std::chrono::system_clock::time_point when{};
  int64_t elapsedMs = 0;  // since the watch started

  bool hasInputs = false;
  uint32_t inputs = 0;         // DIN0-DIN31, DINn in bit n
  int countersRead = 0;        // counters CNT 0 .. countersRead-1 are read
  uint32_t counters[kChannelCount] = {};
  bool hasStatus = false;
  uint32_t status = 0;         // status bits 0-31

  int32_t error = 0;           // status of the exchange that failed; 0 when none did
  std::string errorText;       // its text, UTF-8
  bool interrupted = false;    // stopped between exchanges; not a sample
};

// Reads the chosen sources in the order inputs, counters (groups 0-7),
// status register. The first failed exchange ends the sample, as a failed
// exchange ends a tick of the live windows; what follows it stays unread.
// `stop` is looked at between exchanges.
WatchSample ReadWatchSample(const ModuleLink& link, const WatchSources& sources, const std::atomic<bool>& stop);

}  // namespace dqcommission
