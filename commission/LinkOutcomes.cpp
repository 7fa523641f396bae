#include "LinkOutcomes.h"

namespace dqcommission {

namespace {

struct Outcome {
  int32_t code;
  const char* key;
  const char* name;
};

// The libraries' codes of an exchange's outcome.
constexpr Outcome kOutcomes[] = {
    {0, "ok", "success"},
    {1, "no_reply", "no reply"},
    {2, "crc", "CRC error"},
    {3, "other_address", "reply from another address"},
    {4, "malformed", "malformed reply"},
    {5, "truncated", "reply not complete"},
    {6, "other_command", "reply to another command"},
    {7, "too_long", "reply too long"},
    {8, "port_open", "port cannot be opened"},
    {9, "port_busy", "port held by another program"},
    {10, "port_vanished", "port went away"},
    {11, "port_write", "write to the port failed"},
    {12, "port_read", "read from the port failed"},
    {13, "port_missing", "port does not exist"},
    {14, "port_access", "no access to the port"},
    {15, "port_setup", "port cannot be set up"},
    {16, "invalid_handle", "invalid link handle"},
    {17, "invalid_parameter", "invalid parameter"},
    {21, "socket", "network socket error"},
    {22, "no_converter", "no converter listening"},
    {23, "network_unreachable", "converter's network unreachable"},
    {41, "module_unknown_command", "module: unknown command"},
    {42, "module_unknown_subcode", "module: unknown sub-code"},
    {43, "module_bad_register", "module: bad register"},
    {44, "module_bad_value", "module: bad value"},
    {45, "module_busy", "module busy"},
    {46, "module_failed", "module: command not carried out"},
    {99, "module_status_other", "module: unknown error status"},
};

constexpr int32_t kModuleStatusBase = 40;

const Outcome* Find(int32_t code) {
  for (const Outcome& outcome : kOutcomes) {
    if (outcome.code == code) return &outcome;
  }
  return nullptr;
}

bool IsModuleStatus(int32_t code) { return code > kModuleStatusBase && code < 99; }

}  // namespace

std::string OutcomeKey(int32_t code) {
  if (const Outcome* outcome = Find(code)) return outcome->key;
  if (IsModuleStatus(code)) return "module_status_" + std::to_string(code - kModuleStatusBase);
  return "code_" + std::to_string(code);
}

std::string OutcomeName(int32_t code) {
  if (const Outcome* outcome = Find(code)) return outcome->name;
  if (IsModuleStatus(code)) return "module status " + std::to_string(code - kModuleStatusBase);
  return "code " + std::to_string(code);
}

}  // namespace dqcommission
