// The address and rate lists a scan is given on the command line:
// "0-255", "1,4,7-9" for addresses, "9600,38400" (Bd) for rates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dqcommission {

// Every address 0-255, ascending.
std::vector<uint8_t> AllAddresses();
// Every baud-rate code 0-8, ascending.
std::vector<uint8_t> AllBaudCodes();

// Items separated by commas, each a decimal address 0-255 or a range A-B
// with A <= B; blanks around items are allowed. The result keeps the order
// of first mention and holds each address once. False with `error` set
// (the item at fault) for an empty list, an empty item or a bad number.
bool ParseAddressList(const std::string& text, std::vector<uint8_t>& addresses, std::string& error);

// Rates in Bd separated by commas, each one of the nine; the result holds
// their baud-rate codes, each once, in the order of first mention.
bool ParseRateList(const std::string& text, std::vector<uint8_t>& baudCodes, std::string& error);

}  // namespace dqcommission
