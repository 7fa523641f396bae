// Everything a simulator run is set up with; filled from the command line
// by the executable, or directly by a test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/model/Module.h"

namespace dqsim {

struct SimOptions {
  // One module per address, in this order (factory values; a state file
  // that lists modules takes precedence).
  std::vector<uint8_t> addresses{0};
  // An address may be given to several modules (a commissioning mistake):
  // those at one rate all answer a request, and their replies collide.
  bool sharedAddresses = false;
  uint8_t baudCode = 4;  // factory baud-rate code of every module
  ModuleIdentity identity;

  bool pty = true;
  int comPort = 0;          // > 0: register the pty as COMn in the port map
  std::string portMapPath;  // empty: the drivers' default map file
  std::string serialDevice;

  bool udp = true;
  std::string udpBind = "127.0.0.1";
  uint16_t udpPort = 5000;  // 0: any free port

  std::string statePath;
  std::string controlPath;
  bool inputPattern = true;
  Wiring wiring;  // output-to-input cables of every module (--wire)
  bool wireTiming = false;
  bool verbose = false;
};

}  // namespace dqsim
