// Texts of module values: clock time and date; packing of reply bytes.
#include <ctime>
#include <functional>
#include <string>
#include <utility>

#include "Dekl.h"

namespace {

std::function<int()>& YearSource() {
  static std::function<int()> source;
  return source;
}

int LocalYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 1970;
  return local.tm_year + 1900;
}

std::string TwoDigits(unsigned value) {
  std::string text = std::to_string(value);
  return value < 10 ? "0" + text : text;
}

}  // namespace

std::string TimeText(uint8_t hours, uint8_t minutes, uint8_t seconds) {
  const unsigned h = hours > 23 ? 23 : hours;
  const unsigned m = minutes > 59 ? 59 : minutes;
  const unsigned s = seconds > 59 ? 59 : seconds;
  return std::to_string(h) + ":" + TwoDigits(m) + ":" + TwoDigits(s);
}

std::string DateText(uint8_t day, uint8_t month, uint8_t yearInCycle) {
  const unsigned d = day > 31 ? 31 : day;
  const unsigned m = month > 12 ? 12 : month;
  const int pcYear = YearSource() ? YearSource()() : LocalYear();
  // The module counts years within a four-year cycle; the cycle comes from
  // the PC's year. The sum is a 16-bit word.
  const uint16_t cycleStart = static_cast<uint16_t>(static_cast<uint16_t>(pcYear) & ~3u);
  const uint16_t year = static_cast<uint16_t>(cycleStart + yearInCycle);
  return std::to_string(d) + "." + std::to_string(m) + "." + std::to_string(year);
}

void SetCurrentYearSource(std::function<int()> source) { YearSource() = std::move(source); }

uint32_t PackBytes(uint8_t first, uint8_t second, uint8_t third, uint8_t fourth) {
  return static_cast<uint32_t>(first) | (static_cast<uint32_t>(second) << 8) |
         (static_cast<uint32_t>(third) << 16) | (static_cast<uint32_t>(fourth) << 24);
}
