#include "PcClock.h"

#include <ctime>
#include <utility>

namespace {

TPcDateTime SystemLocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  TPcDateTime t;
  t.Year = local.tm_year + 1900;
  t.Month = local.tm_mon + 1;
  t.Day = local.tm_mday;
  t.Hour = local.tm_hour;
  t.Minute = local.tm_min;
  t.Second = local.tm_sec;
  return t;
}

std::function<TPcDateTime()>& Source() {
  static std::function<TPcDateTime()> source;
  return source;
}

}  // namespace

TPcDateTime PcLocalNow() { return Source() ? Source()() : SystemLocalNow(); }

void SetPcClockSource(std::function<TPcDateTime()> source) { Source() = std::move(source); }
