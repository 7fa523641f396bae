#include "LinkSim.h"

#include "OpenLink.h"
#include "Txxx847.h"

dqsim::SimOptions LinkSimOptions(bool udp) {
  dqsim::SimOptions options;
  options.addresses = {3};
  options.baudCode = 8;
  options.comPort = 9;
  options.udp = udp;
  options.udpPort = 0;
  return options;
}

OpenedLink::~OpenedLink() {
  if (DriverIsBound()) DriverDone(type_, handle_);
}

bool OpenedLink::Open(TInterfaceType type, uint16_t udpPort, uint32_t udpTimeoutMs) {
  type_ = type;
  TConnectionConfig link;
  SetConnectionDefaults(&link);
  link.InterfaceType = type;
  if (type == itDq2847) {
    link.IpAddress = "127.0.0.1";
    link.UdpPort = udpPort;
    link.UdpTimeout = udpTimeoutMs;
  } else {
    link.ComPort = 9;  // COM9, the simulator's entry
  }
  PackInitParams(link);
  if (!StartLink(link, BaudCodeFromRate(115200)).Opened()) return false;
  handle_ = link.DriverHandle;
  return true;
}
