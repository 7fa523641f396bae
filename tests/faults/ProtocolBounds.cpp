#include "ProtocolBounds.h"

#include <algorithm>
#include <cstdint>

namespace faults {

namespace {
constexpr int kRequestBytes = 11;
constexpr int kLongestReplyBytes = 71;
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

double LanMinimumMs(int rate, int timingMs) {
  return WireMs(kRequestBytes, rate) + WireMs(kLongestReplyBytes, rate) + timingMs + kLanSlackMs;
}

double LanAttemptMs(int rate, int timingMs, int udpTimeoutMs) {
  return std::max<double>(udpTimeoutMs, LanMinimumMs(rate, timingMs));
}

double LanSendBoundMs(int rate, int timingMs, int udpTimeoutMs, int retries) {
  return (retries + 1) * LanAttemptMs(rate, timingMs, udpTimeoutMs);
}

}  // namespace faults
