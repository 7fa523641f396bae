#include "LinkSettings.h"
#include "core/BaudRates.h"

#include <algorithm>

namespace dqbus {

LinkSettings Clamped(uint32_t baudRate, int32_t timingMs, int32_t retries) {
  LinkSettings settings;
  settings.baudRate = baudRate;
  settings.timingMs = std::clamp(timingMs, 0, kMaxTimingMs);
  settings.retries = std::clamp(retries, 0, kMaxRetries);
  return settings;
}

int64_t SerialFirstByteWindowMicros(const LinkSettings& settings) {
  return SerialFirstByteMicros(settings.baudRate, settings.timingMs);
}

int64_t SerialRestWindowMicros(const LinkSettings& settings, size_t missingBytes) {
  return static_cast<int64_t>(dqcore::WireTimeMicros(missingBytes, settings.baudRate)) + kInterByteMicros;
}

int64_t LanBusMinimumMicros(const LinkSettings& settings) {
  return LanBusMinimumMicros(settings.baudRate, settings.timingMs);
}

int64_t LanRetryMinimumMicros(const LinkSettings& settings) {
  return static_cast<int64_t>(dqcore::WireTimeMicros(kRequestSize + kReplyMinSize, settings.baudRate)) +
         settings.timingMs * int64_t{1000} + kLanSlackMicros;
}

int64_t LanExchangeBoundMicros(const LinkSettings& settings, int32_t udpTimeoutMs) {
  return std::max<int64_t>(int64_t{udpTimeoutMs} * 1000, LanBusMinimumMicros(settings));
}

}  // namespace dqbus
