// How often the live windows ask the module, in milliseconds. A watch of
// the companion samples at the same pace, so that its log shows what the
// windows would.
#pragma once

namespace dqcore {

constexpr int kInputsIntervalMs = 100;
constexpr int kCountersIntervalMs = 100;
constexpr int kStatusIntervalMs = 500;

}  // namespace dqcore
