#include "OpenLink.h"

#include "Txxx847.h"
#include "core/DriverAbi.h"
#include "core/ModuleCommands.h"

namespace {

constexpr int kIdentifyExchanges = 3;  // type name, first and second half; version
const char* const kStatusOkUtf8 = "V pořádku";

TLinkOutcome Outcome(TLinkStage stage, TInterfaceType type, int32_t code) {
  TLinkOutcome outcome;
  outcome.Stage = stage;
  outcome.Code = code;
  outcome.Text = DriverErrorString(type, code);
  return outcome;
}

// After a failure past Init: close the link just opened.
void CloseNewLink(TConnectionConfig& config, int32_t handle) {
  DriverDone(config.InterfaceType, handle);
  config.DriverHandle = handle;
  config.Initialized = false;
}

}  // namespace

void ClearInitParams(TConnectionConfig& config) {
  for (intptr_t& word : config.InitParams) word = 0;
}

void PackInitParams(TConnectionConfig& config) { PackInitParams(config, config.ComPort); }

void PackInitParams(TConnectionConfig& config, uint16_t comPort) {
  ClearInitParams(config);
  if (config.InterfaceType >= kInterfaceTypeCount) return;
  switch (dqabi::kLibraries[config.InterfaceType].params) {
    case dqabi::InitParams::kComPort:
      config.InitParams[0] = comPort;
      break;
    case dqabi::InitParams::kIsaBase:
      config.InitParams[0] = config.IsaBaseAddress;
      break;
    case dqabi::InitParams::kLanBlock:
      config.InitParams[0] = reinterpret_cast<intptr_t>(config.IpAddress.c_str());
      config.InitParams[1] = static_cast<intptr_t>(config.UdpPort);
      config.InitParams[2] = static_cast<intptr_t>(config.UdpTimeout);
      break;
    case dqabi::InitParams::kNone:
      break;
  }
}

void CloseLink(TConnectionConfig& config) {
  if (!config.Initialized || config.DriverHandle == 0) return;
  int32_t handle = config.DriverHandle;
  DriverDone(config.InterfaceType, handle);
  config.DriverHandle = handle;
  config.Initialized = false;
}

TLinkOutcome StartLink(TConnectionConfig& config, uint8_t baudCode) {
  const TInterfaceType type = config.InterfaceType;
  int32_t handle = config.DriverHandle;
  TLinkOutcome outcome = Outcome(TLinkStage::Init, type, DriverInit(type, handle, config.InitParams));
  if (outcome.Code != 0) {
    config.Initialized = false;
    return outcome;
  }
  config.Initialized = true;
  config.DriverHandle = handle;
  outcome = Outcome(TLinkStage::SetConfig, type,
                    DriverSetConfig(type, handle, static_cast<int32_t>(BaudRateFromCode(baudCode)),
                                    BaudTiming(baudCode), dqabi::kSetConfigRetries));
  if (outcome.Code != 0) {
    CloseNewLink(config, handle);
    return outcome;
  }
  outcome.Stage = TLinkStage::Open;
  return outcome;
}

TLinkOutcome IdentifyModule(const TConnectionConfig& config, uint8_t address, TModuleIdentity& identity) {
  const TInterfaceType type = config.InterfaceType;
  std::string parts[kIdentifyExchanges];
  uint8_t b3 = 0;
  TExchangeReply reply{};
  TLinkOutcome outcome;
  for (int subcode = 0; subcode < kIdentifyExchanges; ++subcode) {
    uint8_t b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0;
    ModuleExchange(type, config.DriverHandle, address, dqcmd::kCmdIdentify, static_cast<uint8_t>(subcode), b3, b4,
                   b5, b6, b7, status, reply);
    outcome = Outcome(TLinkStage::Identify, type, status);
    if (status != 0) return outcome;
    // One character per byte, a zero byte included.
    for (uint8_t byte : {b4, b5, b6, b7}) parts[subcode].push_back(static_cast<char>(byte));
  }
  outcome.Stage = TLinkStage::Open;
  identity.TypeName = parts[0] + parts[1];
  identity.Version = parts[2];
  return outcome;
}

TLinkOutcome OpenLink(TConnectionConfig& config, uint8_t address, uint8_t baudCode) {
  TLinkOutcome outcome = StartLink(config, baudCode);
  if (!outcome.Opened()) return outcome;
  return IdentifyLink(config, address, baudCode);
}

TLinkOutcome IdentifyLink(TConnectionConfig& config, uint8_t address, uint8_t baudCode) {
  TModuleIdentity identity;
  TLinkOutcome outcome = IdentifyModule(config, address, identity);
  if (!outcome.Opened()) {
    CloseNewLink(config, config.DriverHandle);
    return outcome;
  }
  config.ModuleIdent = identity.TypeName + " v." + identity.Version;
  config.ModuleAddress = address;
  config.BaudRate = BaudRateFromCode(baudCode);
  config.StatusText = Cp1250FromUtf8(kStatusOkUtf8);
  return outcome;
}
