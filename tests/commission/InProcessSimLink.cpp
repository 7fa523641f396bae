#include "InProcessSimLink.h"

#include "SimLink.h"
#include "core/BaudRates.h"

namespace dqtest {

bool OpenSimLink(InProcessSim& sim, uint8_t address, TConnectionConfig& link) {
  // The simulator shares the test's cores: a longer wait than a child's.
  return OpenSimLink(link, Via::kUdp, sim->UdpPort(), address, dqcore::kDefaultBaudCode, 300);
}

}  // namespace dqtest
