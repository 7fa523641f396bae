// The integer text rule against an independent reference: the same texts
// are numbers, with the same values.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Dekl.h"

namespace {

bool Reference(const std::string& text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string rest = text.substr(i);
  bool hex = false;
  if (!rest.empty() && rest[0] == '$') {
    hex = true;
    rest = rest.substr(1);
  } else if (!rest.empty() && (rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    rest = rest.substr(1);
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    hex = true;
    rest = rest.substr(2);
  }
  if (hex) {
    if (rest.empty()) return false;
    uint64_t v = 0;
    for (char c : rest) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
      v = v * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
      if (v > 0xFFFFFFFFull) return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
  }
  bool negative = false;
  if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    negative = rest[0] == '-';
    rest = rest.substr(1);
  }
  if (rest.empty()) return false;
  int64_t v = 0;
  for (char c : rest) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string text;  // its buffer is kept from input to input
  text.assign(reinterpret_cast<const char*>(data), size);
  int32_t got = 0, want = 0;
  bool ok = TryParseInteger(text, got);
  bool refOk = Reference(text, want);
  if (ok != refOk || (ok && got != want)) abort();

  uint16_t word = 0;
  bool inRange = ParseWordInRange(text, 1, 1000, word);
  if (inRange != (ok && got >= 1 && got <= 1000)) abort();
  if (inRange && word != got) abort();
  return 0;
}
