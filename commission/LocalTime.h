// Local wall-clock time as ISO 8601 with milliseconds and the UTC offset,
// e.g. 2026-12-09T11:40:07.125+01:00, as the value logs stamp their rows.
#pragma once

#include <chrono>
#include <string>

namespace dqcommission {

std::string IsoLocalTime(std::chrono::system_clock::time_point when);

}  // namespace dqcommission
