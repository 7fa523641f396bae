#include "commission/Probe.h"

#include "Txxx847.h"
#include "core/ErrorCodes.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

struct Identified {
  uint8_t status = 0;
  uint8_t count = 0;
  std::string text;
};

Identified Identify(TInterfaceType type, int32_t handle, uint8_t address, uint8_t subcode, uint8_t b3) {
  uint8_t b4 = 0, b5 = 0, b6 = 0, b7 = 0;
  Identified result;
  TExchangeReply reply{};
  ModuleExchange(type, handle, address, dqcmd::kCmdIdentify, subcode, b3, b4, b5, b6, b7, result.status, reply);
  if (result.status == 0) {
    result.count = b3;
    for (uint8_t byte : {b4, b5, b6, b7}) result.text.push_back(static_cast<char>(byte));
  }
  return result;
}

std::string WithoutPadding(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

}  // namespace

ProbeKind ClassifyProbeCode(int32_t code) {
  if (code == dqerr::kOk || dqerr::IsModuleStatus(code)) return ProbeKind::kModule;
  if (code == dqerr::kTimeout) return ProbeKind::kSilent;
  if (code >= dqerr::kCrc && code <= dqerr::kReplyTooLong) return ProbeKind::kGarbled;
  return ProbeKind::kLinkFault;
}

ProbeOutcome ProbeAddress(TInterfaceType type, int32_t handle, uint8_t address) {
  Identified first = Identify(type, handle, address, dqcmd::kSubTypeNameFirst, 0);
  ProbeOutcome outcome;
  outcome.code = first.status;
  outcome.kind = ClassifyProbeCode(first.status);
  outcome.firstHalf = first.text;
  return outcome;
}

ModuleIdentity CompleteIdentity(TInterfaceType type, int32_t handle, uint8_t address, const std::string& firstHalf,
                                int tries, const std::atomic<bool>& stop) {
  ModuleIdentity identity;
  std::string second, version;
  uint8_t b3 = 4;  // the count of the reply before, as the connection window sends it
  for (uint8_t subcode : {dqcmd::kSubTypeNameSecond, dqcmd::kSubFirmwareVersion}) {
    Identified part;
    for (int attempt = 0; attempt < tries && (attempt == 0 || !stop); ++attempt) {
      part = Identify(type, handle, address, subcode, b3);
      if (ClassifyProbeCode(part.status) != ProbeKind::kSilent &&
          ClassifyProbeCode(part.status) != ProbeKind::kGarbled) {
        break;
      }
    }
    if (part.status != 0) {
      identity.code = part.status;
      break;
    }
    b3 = part.count;
    (subcode == dqcmd::kSubTypeNameSecond ? second : version) = part.text;
  }
  identity.typeName = WithoutPadding(firstHalf + second);
  identity.version = WithoutPadding(version);
  return identity;
}

}  // namespace dqcommission
