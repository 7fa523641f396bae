// The two connection records that the settings crash test saves in turn:
// different interfaces, so that every save changes keys in two sections.
#pragma once

#include "Dekl.h"

namespace faults {

inline TConnectionConfig ComSettings() {
  TConnectionConfig config;
  SetConnectionDefaults(&config);
  config.InterfaceType = itComPort;
  config.ComPort = 7;
  config.ModuleAddress = 12;
  config.BaudRate = 19200;
  return config;
}

inline TConnectionConfig LanSettings() {
  TConnectionConfig config;
  SetConnectionDefaults(&config);
  config.InterfaceType = itDq2847;
  config.IpAddress = "127.0.0.1";
  config.UdpPort = 5123;
  config.UdpTimeout = 250;
  config.ModuleAddress = 201;
  config.BaudRate = 115200;
  return config;
}

}  // namespace faults
