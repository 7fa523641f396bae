#include "LinkOutcomes.h"

#include "core/ErrorCodes.h"

namespace dqcommission {

namespace {

struct Outcome {
  int32_t code;
  const char* key;
  const char* name;
};

// The libraries' codes of an exchange's outcome.
constexpr Outcome kOutcomes[] = {
    {dqerr::kOk, "ok", "success"},
    {dqerr::kTimeout, "no_reply", "no reply"},
    {dqerr::kCrc, "crc", "CRC error"},
    {dqerr::kForeignAddress, "other_address", "reply from another address"},
    {dqerr::kMalformed, "malformed", "malformed reply"},
    {dqerr::kTruncated, "truncated", "reply not complete"},
    {dqerr::kEchoMismatch, "other_command", "reply to another command"},
    {dqerr::kReplyTooLong, "too_long", "reply too long"},
    {dqerr::kPortOpen, "port_open", "port cannot be opened"},
    {dqerr::kPortBusy, "port_busy", "port held by another program"},
    {dqerr::kPortVanished, "port_vanished", "port went away"},
    {dqerr::kWrite, "port_write", "write to the port failed"},
    {dqerr::kRead, "port_read", "read from the port failed"},
    {dqerr::kPortMissing, "port_missing", "port does not exist"},
    {dqerr::kPortAccess, "port_access", "no access to the port"},
    {dqerr::kPortSetup, "port_setup", "port cannot be set up"},
    {dqerr::kInvalidHandle, "invalid_handle", "invalid link handle"},
    {dqerr::kInvalidParameter, "invalid_parameter", "invalid parameter"},
    {dqerr::kSocket, "socket", "network socket error"},
    {dqerr::kConnRefused, "no_converter", "no converter listening"},
    {dqerr::kNetUnreachable, "network_unreachable", "converter's network unreachable"},
    {dqerr::kForeignModule, "other_module", "another module answers"},
    {dqerr::kModuleUnknownCommand, "module_unknown_command", "module: unknown command"},
    {dqerr::kModuleBadSubcode, "module_unknown_subcode", "module: unknown sub-code"},
    {dqerr::kModuleBadRegister, "module_bad_register", "module: bad register"},
    {dqerr::kModuleBadValue, "module_bad_value", "module: bad value"},
    {dqerr::kModuleBusy, "module_busy", "module busy"},
    {dqerr::kModuleFailed, "module_failed", "module: command not carried out"},
    {dqerr::kModuleStatusOther, "module_status_other", "module: unknown error status"},
};

const Outcome* Find(int32_t code) {
  for (const Outcome& outcome : kOutcomes) {
    if (outcome.code == code) return &outcome;
  }
  return nullptr;
}

}  // namespace

std::string OutcomeKey(int32_t code) {
  if (const Outcome* outcome = Find(code)) return outcome->key;
  if (dqerr::IsModuleStatus(code)) return "module_status_" + std::to_string(code - dqerr::kModuleStatusBase);
  return "code_" + std::to_string(code);
}

std::string OutcomeName(int32_t code) {
  if (const Outcome* outcome = Find(code)) return outcome->name;
  if (dqerr::IsModuleStatus(code)) return "module status " + std::to_string(code - dqerr::kModuleStatusBase);
  return "code " + std::to_string(code);
}

}  // namespace dqcommission
