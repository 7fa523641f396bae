// The checkout's record, channel by channel, and its JSON file, which the
// commissioning report reads back.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace dqcommission {

enum class Verdict { kPass, kFail, kSkipped, kNotChecked };

// Why the checkout ended.
enum class CheckoutEnd {
  kPassed,     // every checked channel passed (skipped ones aside)
  kFailed,     // a channel failed
  kStopped,    // Ctrl+C, or the answers ended
  kCancelled,  // the technician declined before anything was written
  kLinkError,  // an exchange failed
};

struct ChannelResult {
  std::string channel;  // "DOUT3", "DIN5", "CNT 7"
  Verdict verdict = Verdict::kNotChecked;
  std::string how;      // "technician", "loopback DIN5", "pulses from DOUT2"
  std::string detail;   // why it failed or was skipped; empty on a pass
  std::string time;     // local time of the verdict, ISO 8601 with UTC offset
};

struct CheckoutResults {
  int address = 0;
  std::string moduleIdent;  // UTF-8
  std::string started;      // ISO 8601 local with UTC offset
  std::string finished;
  uint32_t doutNegation = 0;
  uint32_t dinNegation = 0;
  uint32_t doutInitial = 0;
  CheckoutEnd end = CheckoutEnd::kPassed;
  std::string message;           // one line on how it ended
  bool outputsWritten = false;   // anything was written into the outputs
  bool outputsRestored = false;  // the initial states were written back at the end
  std::vector<ChannelResult> channels;

  int Count(Verdict verdict) const;
};

const char* VerdictName(Verdict verdict);  // "pass", "fail", "skipped", "not checked"
const char* EndName(CheckoutEnd end);      // "passed", "failed", "stopped", "cancelled", "link error"

// Local time to the second, as "2026-12-09T12:30:05+01:00" (LocalTime.h
// gives it with milliseconds).
std::string IsoLocalSeconds(std::chrono::system_clock::time_point when);

std::string CheckoutResultsJson(const CheckoutResults& results);
// False with `why` when the text is no checkout result file.
bool ParseCheckoutResults(const std::string& json, CheckoutResults& results, std::string* why);
// Saved atomically; false with `why` (the file and the reason).
bool SaveCheckoutResults(const std::string& path, const CheckoutResults& results, std::string* why);
bool LoadCheckoutResults(const std::string& path, CheckoutResults& results, std::string* why);

}  // namespace dqcommission
