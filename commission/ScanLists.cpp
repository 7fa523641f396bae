#include "commission/ScanLists.h"

#include <algorithm>
#include <cctype>

#include "core/BaudRates.h"

namespace dqcommission {

namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// A decimal number up to `max` (digits only, at most 9 of them).
bool ParseDecimal(const std::string& text, uint32_t max, uint32_t& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value <= max;
}

std::vector<std::string> Items(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    items.push_back(Trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

void AddOnce(std::vector<uint8_t>& list, uint8_t value) {
  if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

}  // namespace

std::vector<uint8_t> AllAddresses() {
  std::vector<uint8_t> all(256);
  for (int a = 0; a < 256; ++a) all[static_cast<size_t>(a)] = static_cast<uint8_t>(a);
  return all;
}

std::vector<uint8_t> AllBaudCodes() {
  std::vector<uint8_t> all;
  for (int code = 0; code < dqcore::kBaudCodeCount; ++code) all.push_back(static_cast<uint8_t>(code));
  return all;
}

bool ParseRateList(const std::string& text, std::vector<uint8_t>& baudCodes, std::string& error) {
  std::vector<uint8_t> result;
  for (const std::string& item : Items(text)) {
    uint32_t rate = 0;
    int code = ParseDecimal(item, 999999, rate) ? dqcore::BaudCodeOf(rate) : -1;
    if (code < 0) {
      error = "'" + item + "' is not one of the rates 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200";
      return false;
    }
    AddOnce(result, static_cast<uint8_t>(code));
  }
  baudCodes = std::move(result);
  return true;
}

}  // namespace dqcommission
