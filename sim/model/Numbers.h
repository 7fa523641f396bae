// The simulator's one reading of a number, for its command line, its
// control commands and its state file: decimal ("010" is ten), or
// hexadecimal after 0x, the whole word, within [low, high]. A minus sign
// only where the range has negative numbers; no plus sign, no blanks.
#pragma once

#include <cstdint>
#include <string>

namespace dqsim {

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t& value);

// The same for an unsigned field, within [0, max].
template <typename T>
bool ParseUnsigned(const std::string& text, uint64_t max, T& value) {
  int64_t parsed = 0;
  if (max > static_cast<uint64_t>(INT64_MAX) || !ParseNumber(text, 0, static_cast<int64_t>(max), parsed)) return false;
  value = static_cast<T>(parsed);
  return true;
}

}  // namespace dqsim
