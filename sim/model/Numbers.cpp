#include "sim/model/Numbers.h"

namespace dqsim {

namespace {

int DigitValue(char c, int base) {
  int digit = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : 99;
  return digit < base ? digit : -1;
}

}  // namespace

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (low < 0 && i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  int base = 10;
  if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  // Accumulated as a negative number, whose range reaches INT64_MIN.
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    int digit = DigitValue(text[i], base);
    if (digit < 0 || magnitude < (INT64_MIN + digit) / base) return false;
    magnitude = magnitude * base - digit;
  }
  if (!negative && magnitude == INT64_MIN) return false;
  int64_t parsed = negative ? magnitude : -magnitude;
  if (parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

}  // namespace dqsim
