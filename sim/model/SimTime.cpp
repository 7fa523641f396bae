#include "sim/model/SimTime.h"

#include <chrono>
#include <ctime>

namespace dqsim {

int64_t SystemTime::PcSeconds() const { return static_cast<int64_t>(std::time(nullptr)); }

int64_t SystemTime::PcLocalWallSeconds() const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int64_t>(now) + local.tm_gmtoff;
}

int64_t SystemTime::MonotonicMicros() const {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void ManualTime::AdvanceMicros(int64_t micros) {
  monoMicros_ += micros;
  microsRemainder_ += micros;
  pcSeconds_ += microsRemainder_ / 1000000;
  microsRemainder_ %= 1000000;
}

}  // namespace dqsim
