#include "ProtocolBounds.h"

#include <algorithm>
#include <cstdint>

#include "Protocol.h"

namespace faults {

namespace {
// Frame sizes are the codec's; the allowances are the document's own
// numbers, kept apart from the drivers' timing code that is measured.
constexpr int kRequestBytes = dqbus::kRequestSize;
constexpr int kLongestReplyBytes = dqbus::kReplyMaxSize;
constexpr int kShortestReplyBytes = dqbus::kReplyMinSize;
constexpr double kSerialSlackMs = 25;
constexpr double kInterByteMs = 20;
constexpr double kLanSlackMs = 20;
}  // namespace

double WireMs(int bytes, int rate) {
  const int64_t bits = int64_t{bytes} * 10 * 1000000;
  const int64_t micros = (bits + rate - 1) / rate;
  return static_cast<double>(micros) / 1000.0;
}

double SerialFirstByteMs(int rate, int timingMs) { return WireMs(kRequestBytes, rate) + timingMs + kSerialSlackMs; }

double SerialAttemptBoundMs(int rate, int timingMs) {
  return SerialFirstByteMs(rate, timingMs) + WireMs(kLongestReplyBytes, rate) + kInterByteMs;
}

double SerialSendBoundMs(int rate, int timingMs, int retries) {
  return (retries + 1) * SerialAttemptBoundMs(rate, timingMs);
}

double SerialQuietGapMs(int rate) { return WireMs(2, rate) + kInterByteMs; }

double LanMinimumMs(int rate, int timingMs) {
  return WireMs(kRequestBytes, rate) + WireMs(kLongestReplyBytes, rate) + timingMs + kLanSlackMs;
}

double LanRetryMinimumMs(int rate, int timingMs) {
  return WireMs(kRequestBytes, rate) + WireMs(kShortestReplyBytes, rate) + timingMs + kLanSlackMs;
}

double LanSendBoundMs(int rate, int timingMs, int udpTimeoutMs) {
  return std::max<double>(udpTimeoutMs, LanMinimumMs(rate, timingMs));
}

std::vector<double> LanAttemptWindowsMs(int rate, int timingMs, int udpTimeoutMs, int retries) {
  const double bound = LanSendBoundMs(rate, timingMs, udpTimeoutMs);
  const double least = LanMinimumMs(rate, timingMs);
  std::vector<double> windows;
  double used = 0;
  for (int attempt = 0; attempt <= retries; ++attempt) {
    const double left = bound - used;
    if (left <= 0 || (attempt > 0 && left < LanRetryMinimumMs(rate, timingMs))) break;
    const double window = std::min(left, std::max(left / (retries + 1 - attempt), least));
    windows.push_back(window);
    used += window;
  }
  return windows;
}

}  // namespace faults
