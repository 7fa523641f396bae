#include "sim/model/ModuleClock.h"

#include <ctime>

#include "Protocol.h"

namespace dqsim {

ClockFields FieldsOf(int64_t wallSeconds) {
  std::time_t t = static_cast<std::time_t>(wallSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  ClockFields f;
  f.second = tm.tm_sec;
  f.minute = tm.tm_min;
  f.hour = tm.tm_hour;
  f.day = tm.tm_mday;
  f.month = tm.tm_mon + 1;
  f.year = tm.tm_year + 1900;
  return f;
}

int64_t WallSecondsOf(const ClockFields& f) {
  std::tm tm{};
  tm.tm_sec = f.second;
  tm.tm_min = f.minute;
  tm.tm_hour = f.hour;
  tm.tm_mday = f.day;
  tm.tm_mon = f.month - 1;
  tm.tm_year = f.year - 1900;
  return static_cast<int64_t>(timegm(&tm));
}

int DaysInMonth(int month, int year) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

std::array<uint8_t, 4> TimeBytes(int64_t wallSeconds) {
  if (wallSeconds == 0) return {0, 0, 0, 0};
  ClockFields f = FieldsOf(wallSeconds);
  return {static_cast<uint8_t>(f.second), static_cast<uint8_t>(f.minute), static_cast<uint8_t>(f.hour), 0};
}

std::array<uint8_t, 4> DateBytes(int64_t wallSeconds) {
  if (wallSeconds == 0) return {0, 0, 0, 0};
  ClockFields f = FieldsOf(wallSeconds);
  return {static_cast<uint8_t>(f.day), static_cast<uint8_t>(f.month), static_cast<uint8_t>(f.year % 4), 0};
}

namespace {

// How far the clock moves when `set` changes some fields of the time `now`
// and keeps the others.
template <class SetFields>
int64_t ShiftFor(int64_t now, SetFields set) {
  ClockFields f = FieldsOf(now);
  set(f);
  return WallSecondsOf(f) - now;
}

}  // namespace

uint8_t ModuleClock::SetTime(uint8_t seconds, uint8_t minutes, uint8_t hours) {
  if (seconds > 59 || minutes > 59 || hours > 23) return dqbus::msBadValue;
  offset_ += ShiftFor(Now(), [&](ClockFields& f) {
    f.second = seconds;
    f.minute = minutes;
    f.hour = hours;
  });
  return dqbus::msOk;
}

uint8_t ModuleClock::SetDate(uint8_t day, uint8_t month, uint8_t yearInCycle) {
  if (yearInCycle > 3 || month < 1 || month > 12) return dqbus::msBadValue;
  int year = (FieldsOf(time_.PcLocalWallSeconds()).year & ~3) + yearInCycle;
  if (day < 1 || day > DaysInMonth(month, year)) return dqbus::msBadValue;
  offset_ += ShiftFor(Now(), [&](ClockFields& f) {
    f.day = day;
    f.month = month;
    f.year = year;
  });
  return dqbus::msOk;
}

}  // namespace dqsim
