// The address and rate lists a scan is given on the command line:
// "0-255", "1,4,7-9" for addresses, "9600,38400" (Bd) for rates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AddressList.h"  // ParseAddressList: the addresses a scan is given

namespace dqcommission {

// Every address 0-255, ascending.
std::vector<uint8_t> AllAddresses();
// Every baud-rate code 0-8, ascending.
std::vector<uint8_t> AllBaudCodes();

// Rates in Bd separated by commas, each one of the nine; the result holds
// their baud-rate codes, each once, in the order of first mention.
bool ParseRateList(const std::string& text, std::vector<uint8_t>& baudCodes, std::string& error);

}  // namespace dqcommission
