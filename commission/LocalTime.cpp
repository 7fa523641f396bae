#include "LocalTime.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace dqcommission {

std::string IsoLocalTime(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
  time_t seconds = static_cast<time_t>(ms / 1000);
  long millis = static_cast<long>(ms % 1000);
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  tm local{};
  localtime_r(&seconds, &local);
  const long offset = local.tm_gmtoff;  // seconds east of UTC
  const long absOffset = std::labs(offset);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis,
                offset < 0 ? '-' : '+', absOffset / 3600, absOffset / 60 % 60);
  return text;
}

}  // namespace dqcommission
