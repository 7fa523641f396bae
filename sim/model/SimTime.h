// Time as the simulated module sees it: the PC's wall clock (for the module
// clock and the power-failure record) and a monotonic clock (for the input
// pattern). Tests substitute ManualTime to step both by hand.
#pragma once

#include <atomic>
#include <cstdint>

namespace dqsim {

class TimeSource {
 public:
  virtual ~TimeSource() = default;
  // PC time, seconds since the epoch (UTC).
  virtual int64_t PcSeconds() const = 0;
  // PC local wall time as seconds since the epoch read as if it were UTC
  // (the local offset added), so that date arithmetic needs no time zone.
  virtual int64_t PcLocalWallSeconds() const = 0;
  // Monotonic time in microseconds, arbitrary origin.
  virtual int64_t MonotonicMicros() const = 0;
};

class SystemTime : public TimeSource {
 public:
  int64_t PcSeconds() const override;
  int64_t PcLocalWallSeconds() const override;
  int64_t MonotonicMicros() const override;
};

// Time set by hand; the local offset from UTC is fixed (0 unless set).
// A test may step it while the simulator's loop thread reads it.
class ManualTime : public TimeSource {
 public:
  int64_t PcSeconds() const override { return pcSeconds_; }
  int64_t PcLocalWallSeconds() const override { return pcSeconds_ + localOffset_; }
  int64_t MonotonicMicros() const override { return monoMicros_; }

  void SetPcSeconds(int64_t seconds) { pcSeconds_ = seconds; }
  void SetLocalOffset(int64_t seconds) { localOffset_ = seconds; }
  // Moves both clocks on.
  void AdvanceMicros(int64_t micros);

 private:
  std::atomic<int64_t> pcSeconds_{1767225600};  // 2026-01-01 00:00:00 UTC
  std::atomic<int64_t> localOffset_{0};
  std::atomic<int64_t> monoMicros_{0};
  int64_t microsRemainder_ = 0;  // only the stepping thread uses it
};

}  // namespace dqsim
