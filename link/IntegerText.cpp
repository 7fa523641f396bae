// The integer text rule for numbers typed by the user or kept in the
// settings file.
#include <cstdint>
#include <string>

#include "Dekl.h"

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal digits from pos to the end, as a 32-bit pattern.
bool ParseHexDigits(const std::string& text, size_t pos, int32_t& value) {
  if (pos >= text.size()) return false;
  uint64_t acc = 0;
  for (; pos < text.size(); ++pos) {
    const int d = HexDigitValue(text[pos]);
    if (d < 0) return false;
    acc = acc * 16 + static_cast<uint64_t>(d);
    if (acc > UINT32_MAX) return false;
  }
  value = static_cast<int32_t>(static_cast<uint32_t>(acc));
  return true;
}

// Optional sign and decimal digits from pos to the end, signed 32 bits.
bool ParseDecimal(const std::string& text, size_t pos, int32_t& value) {
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos >= text.size()) return false;
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  int64_t acc = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return false;
    acc = acc * 10 + (c - '0');
    if (acc > limit) return false;
  }
  value = static_cast<int32_t>(negative ? -acc : acc);
  return true;
}

}  // namespace

bool TryParseInteger(const std::string& text, int32_t& value) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos >= text.size()) return false;
  const char first = text[pos];
  if (first == '$' || first == 'x' || first == 'X') return ParseHexDigits(text, pos + 1, value);
  if (first == '0' && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    return ParseHexDigits(text, pos + 2, value);
  }
  return ParseDecimal(text, pos, value);
}

bool ParseWordInRange(const std::string& text, uint16_t low, uint16_t high, uint16_t& value) {
  int32_t parsed = 0;
  if (!TryParseInteger(text, parsed)) return false;
  if (parsed < static_cast<int32_t>(low) || parsed > static_cast<int32_t>(high)) return false;
  value = static_cast<uint16_t>(parsed);
  return true;
}
