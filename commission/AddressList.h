// A list of module addresses as a user types it: "1,4,7-9".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dqcommission {

// Addresses 0-255 separated by commas, a range as "A-B" (A <= B); each
// address once. False with a message naming the bad part.
bool ParseAddressList(const std::string& text, std::vector<uint8_t>& addresses, std::string& error);

}  // namespace dqcommission
