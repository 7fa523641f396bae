// The engine of a link test: N exchanges of one request over an open link,
// each exactly one attempt (the library's retries set to 0 for the test and
// given back afterwards), counted by outcome class, with latencies,
// exchanges per second against the wire floor, and a verdict. No
// command-line parsing here; the caller opens the link and owns the stop
// flag (set from a signal handler, looked at between exchanges).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>

#include "Dekl.h"
#include "LinkVerdict.h"
#include "WatchSample.h"

namespace dqcommission {

// The request a link test repeats; each is read-only in the module.
enum class LinkRequest {
  kIdentify,  // identification, first half of the type name (200/0)
  kRegister,  // a configuration register (102/0)
  kInputs,    // the digital inputs (0/64)
};

struct LinkTestOptions {
  int64_t count = 0;            // exchanges, at least 1
  LinkRequest request = LinkRequest::kIdentify;
  uint8_t registerNumber = 0x3F;  // for kRegister
};

struct LinkTestReport {
  // Set when the retries could not be set to 0 (or given back): the
  // library's code and text (UTF-8); then nothing else was done.
  int32_t setupError = 0;
  std::string setupErrorText;

  int64_t planned = 0;
  int64_t exchanges = 0;  // made; fewer than planned when stopped
  bool stopped = false;
  std::map<int32_t, int64_t> outcomes;      // library code -> count
  std::map<int32_t, std::string> texts;     // library code -> its text, UTF-8
  LatencySummary latency;                   // of the successful exchanges
  double seconds = 0;                       // wall time of the exchanges
  uint32_t rate = 0;                        // Bd
  double floorMs = 0;                       // wire floor of one exchange
  double exchangesPerSecond = 0;
  double floorPerSecond = 0;                // 1000 / floorMs
  Judgement judgement;

  int64_t Successes() const {
    auto it = outcomes.find(0);
    return it == outcomes.end() ? 0 : it->second;
  }
};

// `baudRate` is the rate the link was set to (the record's BaudRate after
// it was opened).
LinkTestReport RunLinkTest(const ModuleLink& link, uint32_t baudRate, const LinkTestOptions& options,
                           const std::atomic<bool>& stop);

// The report for people: counts by class, latencies, throughput, verdict.
void PrintLinkTest(const LinkTestReport& report, std::ostream& out);

}  // namespace dqcommission
