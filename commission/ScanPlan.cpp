#include "commission/ScanPlan.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "core/BaudRates.h"
#include "core/Protocol.h"

namespace dqcommission {

namespace {

bool Contains(const std::vector<uint8_t>& list, uint8_t value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

int64_t ProbeFloorMicros(ScanLine line, uint8_t baudCode) {
  const uint32_t rate = dqcore::kBaudRates[baudCode % dqcore::kBaudCodeCount];
  const int32_t timingMs = dqcore::kBaudTimings[baudCode % dqcore::kBaudCodeCount];
  // The libraries' own windows: a probe waits no longer than they do.
  return line == ScanLine::kLan ? dqbus::LanBusMinimumMicros(rate, timingMs)
                                : dqbus::SerialFirstByteMicros(rate, timingMs);
}

std::vector<uint8_t> RatesOutward(const std::vector<uint8_t>& baudCodes) {
  std::vector<uint8_t> ordered;
  for (int step = 0; step < 2 * dqcore::kBaudCodeCount; ++step) {
    // 0, +1, -1, +2, -2, ... around 9600 Bd.
    int offset = (step + 1) / 2 * (step % 2 == 1 ? 1 : -1);
    int code = kFactoryBaudCode + offset;
    if (code < 0 || code >= dqcore::kBaudCodeCount) continue;
    if (Contains(baudCodes, static_cast<uint8_t>(code)) && !Contains(ordered, static_cast<uint8_t>(code))) {
      ordered.push_back(static_cast<uint8_t>(code));
    }
  }
  return ordered;
}

std::vector<ScanProbe> PlanScan(const std::vector<uint8_t>& addresses, const std::vector<uint8_t>& baudCodes,
                                std::optional<ScanSetting> remembered) {
  std::vector<ScanProbe> plan;
  std::array<bool, 256 * dqcore::kBaudCodeCount> planned{};
  auto add = [&](uint8_t address, uint8_t code) {
    if (code >= dqcore::kBaudCodeCount || !Contains(addresses, address) || !Contains(baudCodes, code)) return;
    bool& seen = planned[size_t{code} * 256 + address];
    if (seen) return;
    seen = true;
    plan.push_back({address, code});
  };
  if (remembered) add(remembered->address, remembered->baudCode);
  add(kFactoryAddress, kFactoryBaudCode);
  for (uint8_t code : RatesOutward(baudCodes)) {
    for (uint8_t address : addresses) add(address, code);
  }
  return plan;
}

int64_t PlanFloorMicros(const std::vector<ScanProbe>& plan, ScanLine line, size_t from) {
  int64_t sum = 0;
  for (size_t i = from; i < plan.size(); ++i) sum += ProbeFloorMicros(line, plan[i].baudCode);
  return sum;
}

}  // namespace dqcommission
