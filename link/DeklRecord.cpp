// Defaults of the connection record and of the module settings block.
#include <algorithm>
#include <string>

#include "Dekl.h"

const char* const kDefaultIpAddress = "127.0.0.1";

TModuleSetup DefaultModuleSetup() {
  TModuleSetup setup{};
  setup.Address = 1;
  setup.BaudCode = 4;  // 9600 Bd
  for (auto& pulses : setup.PulseNumber) pulses = 1;
  std::fill(std::begin(setup.DinNegation), std::end(setup.DinNegation), 0xFF);
  std::fill(std::begin(setup.DoutNegation), std::end(setup.DoutNegation), 0xFF);
  std::fill(std::begin(setup.DoutInitialState), std::end(setup.DoutInitialState), 0x00);
  return setup;
}

void SetConnectionDefaults(TConnectionConfig* config) {
  if (config == nullptr) return;
  static const std::string notInitialised = Cp1250FromUtf8("Připojení modulu dosud neinicializováno");
  config->InterfaceType = itComPort;
  config->ModuleAddress = 0;
  config->BaudRate = 9600;
  config->IsaBaseAddress = 0x300;
  config->ComPort = 1;
  std::fill(std::begin(config->InitParams), std::end(config->InitParams), 0);
  config->IpAddress = kDefaultIpAddress;
  config->UdpPort = 5000;
  config->UdpTimeout = 200;
  config->StatusText = notInitialised;
  config->DriverHandle = 0;
  config->Initialized = false;
  config->ModuleIdent.clear();
  config->ModuleSetup = DefaultModuleSetup();
}
