// The scene of a link test: an in-process simulator with one module at
// address 3 on 115200 Bd, offered as COM9 through the port map of
// dqtest::InProcessSim, optionally also on UDP 127.0.0.1; and a link to it
// opened through the library the way the program opens one.
#pragma once

#include <cstdint>

#include "Dekl.h"
#include "InProcessSim.h"
#include "core/NonCopyable.h"

dqsim::SimOptions LinkSimOptions(bool udp);

// StartLink at 115200 Bd; DriverDone when the object goes.
class OpenedLink : dqcore::NonCopyable {
 public:
  ~OpenedLink();
  // COM9, or UDP to 127.0.0.1 at udpPort with udpTimeoutMs for the whole
  // exchange. False when the link did not open.
  bool Open(TInterfaceType type, uint16_t udpPort = 0, uint32_t udpTimeoutMs = 0);
  TInterfaceType Type() const { return type_; }
  int32_t Handle() const { return handle_; }

 private:
  TInterfaceType type_ = itComPort;
  int32_t handle_ = 0;
};
