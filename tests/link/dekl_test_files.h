// Files for the settings tests: a fresh folder per test, whole-file
// helpers (those of tests/support) and records.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Dekl.h"
#include "TempDir.h"

using dqtest::ReadFile;
using dqtest::WriteFile;

// Windows-1250 bytes of a UTF-8 source text.
inline std::string W(const std::string& utf8) { return Cp1250FromUtf8(utf8); }

inline TConnectionConfig DefaultConfig() {
  TConnectionConfig config;
  SetConnectionDefaults(&config);
  return config;
}

// A record on the DQ-2847 converter; the rest as the defaults.
inline TConnectionConfig LanConfig(uint8_t address, uint32_t baudRate, const std::string& ip, uint32_t udpPort,
                                   uint32_t udpTimeout) {
  TConnectionConfig config = DefaultConfig();
  config.InterfaceType = itDq2847;
  config.ModuleAddress = address;
  config.BaudRate = baudRate;
  config.IpAddress = ip;
  config.UdpPort = udpPort;
  config.UdpTimeout = udpTimeout;
  return config;
}
