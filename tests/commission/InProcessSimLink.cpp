#include "InProcessSimLink.h"

#include "OpenLink.h"
#include "core/BaudRates.h"

namespace dqtest {

bool OpenSimLink(InProcessSim& sim, uint8_t address, TConnectionConfig& link) {
  SetConnectionDefaults(&link);
  link.InterfaceType = itDq2847;
  link.IpAddress = "127.0.0.1";
  link.UdpPort = sim->UdpPort();
  link.UdpTimeout = 300;
  PackInitParams(link);
  return OpenLink(link, address, dqcore::kDefaultBaudCode).Opened();
}

}  // namespace dqtest
