// UDP ports on 127.0.0.1 for tests and benchmarks.
#pragma once

#include <cstdint>

namespace dqtest {

// A UDP socket bound to 127.0.0.1 on a port the system picks, and that port;
// -1 if it cannot be had.
int BindLoopbackUdp(uint16_t& port);

// A UDP port on 127.0.0.1 that is free right now (bound and released
// again); 0 if none could be had.
uint16_t FreeUdpPort();

}  // namespace dqtest
