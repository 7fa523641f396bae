// The link of the commissioning tests: the real LAN library to a simulated
// module in the test process.
#pragma once

#include <cstdint>

#include "Dekl.h"
#include "InProcessSim.h"

namespace dqtest {

// Opens `link` to the module at `address` of the running `sim`; true when open.
bool OpenSimLink(InProcessSim& sim, uint8_t address, TConnectionConfig& link);

}  // namespace dqtest
