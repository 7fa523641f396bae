// The module's real-time clock: PC local time plus an offset that setting
// the time or the date changes. Values travel as plain numbers (not BCD);
// the year only as its position in a four-year cycle.
#pragma once

#include <array>
#include <cstdint>

#include "sim/model/SimTime.h"

namespace dqsim {

struct ClockFields {
  int second = 0, minute = 0, hour = 0;
  int day = 1, month = 1, year = 1970;
};

// Wall seconds (local time read as UTC) <-> calendar fields.
ClockFields FieldsOf(int64_t wallSeconds);
int64_t WallSecondsOf(const ClockFields& fields);
int DaysInMonth(int month, int year);

// Reply bytes b4-b7 of a time (seconds, minutes, hours, 0) and of a date
// (day, month, year mod 4, 0). A wall time of 0 means "nothing recorded"
// and gives four zero bytes.
std::array<uint8_t, 4> TimeBytes(int64_t wallSeconds);
std::array<uint8_t, 4> DateBytes(int64_t wallSeconds);

class ModuleClock {
 public:
  explicit ModuleClock(const TimeSource& time) : time_(time) {}

  int64_t Now() const { return time_.PcLocalWallSeconds() + offset_; }
  int64_t Offset() const { return offset_; }
  void SetOffset(int64_t offset) { offset_ = offset; }

  // Both return a module status byte (dqbus::ModuleStatus); on a value out
  // of range the clock is left as it was.
  uint8_t SetTime(uint8_t seconds, uint8_t minutes, uint8_t hours);
  // The full year is rebuilt from the PC's year: its multiple of 4 plus
  // the year within the cycle, as the program shows it.
  uint8_t SetDate(uint8_t day, uint8_t month, uint8_t yearInCycle);

 private:
  const TimeSource& time_;
  int64_t offset_ = 0;
};

}  // namespace dqsim
