#include "AddressList.h"

#include <algorithm>

#include "Dekl.h"

namespace dqcommission {

namespace {

constexpr int32_t kMaxAddress = 255;

bool ParseOne(const std::string& text, int32_t& value) {
  return !text.empty() && text.find(' ') == std::string::npos && TryParseInteger(text, value) && value >= 0 &&
         value <= kMaxAddress;
}

}  // namespace

bool ParseAddressList(const std::string& text, std::vector<uint8_t>& addresses, std::string& error) {
  addresses.clear();
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int32_t first = 0, last = 0;
    size_t dash = part.find('-', 1);
    bool ok = dash == std::string::npos ? ParseOne(part, first) && ParseOne(part, last)
                                        : ParseOne(part.substr(0, dash), first) &&
                                              ParseOne(part.substr(dash + 1), last) && first <= last;
    if (!ok) {
      error = "\"" + part + "\" is no address 0-255 or range A-B";
      return false;
    }
    for (int32_t a = first; a <= last; ++a) {
      if (std::find(addresses.begin(), addresses.end(), a) != addresses.end()) {
        error = "address " + std::to_string(a) + " is named twice";
        return false;
      }
      addresses.push_back(static_cast<uint8_t>(a));
    }
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace dqcommission
