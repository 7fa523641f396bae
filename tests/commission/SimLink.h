// Opening a link to a simulated module for the commissioning suites and
// their child program: over UDP through TDQ2847.DLL or over the
// pseudo-terminal (a COM port of the port map) through TCOM847.DLL.
#pragma once

#include <cstdint>
#include <string>

#include "Dekl.h"

namespace dqtest {

enum class Via { kUdp, kPty };

std::string ViaName(Via via);  // "UDP", "pty"

// OpenLink to `address` at the rate of `baudCode` (default 9600 Bd); `port`
// is the UDP port or the COM port; udpTimeoutMs the LAN library's wait.
bool OpenSimLink(TConnectionConfig& config, Via via, int port, uint8_t address, uint8_t baudCode = 4,
                 uint32_t udpTimeoutMs = 100);

}  // namespace dqtest
