// What SetConfig sets for one link, and the timing rules derived from it.
// docs/protocol.md, section "Timing", explains the numbers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Protocol.h"
#include "core/DriverAbi.h"

namespace dqbus {

constexpr uint32_t kDefaultBaudRate = 9600;
constexpr int32_t kDefaultTimingMs = 13;  // module's reply latency at 9600 Bd
constexpr int32_t kMaxRetries = 5;
constexpr int32_t kMaxTimingMs = 5000;

// Allowance for gaps inside a reply frame (USB converters deliver in bursts).
constexpr int64_t kInterByteMicros = 20000;

struct LinkSettings {
  uint32_t baudRate = kDefaultBaudRate;
  int32_t timingMs = kDefaultTimingMs;  // maximum reply latency of the module
  // Attempts after the first one; a link starts with the count the access
  // layer hands SetConfig.
  int32_t retries = dqabi::kSetConfigRetries;
};

// Clamps timing to 0..kMaxTimingMs and retries to 0..kMaxRetries; the rate
// is left alone (checked by the caller).
LinkSettings Clamped(uint32_t baudRate, int32_t timingMs, int32_t retries);

// Serial line: from the start of the request until the reply's first byte.
int64_t SerialFirstByteWindowMicros(const LinkSettings& settings);
// Serial line: for the rest of a started reply, after the latest bytes.
int64_t SerialRestWindowMicros(const LinkSettings& settings, size_t missingBytes);
// LAN: the bus time of the longest exchange plus the converter's latency:
// the least window of one attempt.
int64_t LanBusMinimumMicros(const LinkSettings& settings);
// LAN: the bus time of a status-only exchange plus the latency: a retry
// starts only while this much time is left.
int64_t LanRetryMinimumMicros(const LinkSettings& settings);
// LAN: the bound of a whole exchange, retries included:
// max(udpTimeoutMs, the bus minimum).
int64_t LanExchangeBoundMicros(const LinkSettings& settings, int32_t udpTimeoutMs);

}  // namespace dqbus
