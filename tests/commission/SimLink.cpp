#include "SimLink.h"

#include "OpenLink.h"

namespace dqtest {

std::string ViaName(Via via) { return via == Via::kUdp ? "UDP" : "pty"; }

bool OpenSimLink(TConnectionConfig& config, Via via, int port, uint8_t address, uint8_t baudCode,
                 uint32_t udpTimeoutMs) {
  SetConnectionDefaults(&config);
  if (via == Via::kUdp) {
    config.InterfaceType = itDq2847;
    config.IpAddress = "127.0.0.1";
    config.UdpPort = static_cast<uint32_t>(port);
    config.UdpTimeout = udpTimeoutMs;
  } else {
    config.InterfaceType = itComPort;
    config.ComPort = static_cast<uint8_t>(port);
  }
  PackInitParams(config);
  return OpenLink(config, address, baudCode).Opened();
}

}  // namespace dqtest
