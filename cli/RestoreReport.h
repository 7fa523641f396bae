// One module's restore as it went, and how it is told: the one line of a
// run over several addresses, and its JSON.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "ExitCodes.h"
#include "Restore.h"
#include "SetupDiff.h"

namespace dqcli {

enum class RunState {
  kMatching, kDone, kDryRun, kDeclined, kTypeRefused, kUnreachable, kReadFailed, kStopped, kInterrupted, kNotReached
};

// One module's restore, as it went.
struct ModuleRun {
  uint8_t address = 0;
  std::string type, version;
  std::vector<dqcommission::FieldDifference> differences;
  std::vector<dqcommission::RegisterWrite> plan;
  dqcommission::RestoreResult result;
  RunState state = RunState::kUnreachable;
  std::string message;  // why it failed
  int exitCode = kExitOk;
};

const char* StateWord(RunState state);
std::string Hex(uint8_t value);
size_t VerifiedCount(const ModuleRun& run);
// Whether a write of the address or rate register was sent: verified, or
// sent and not confirmed (it may have taken effect all the same).
enum class AddressOrRateWrite { kNone, kUnconfirmed, kVerified };
AddressOrRateWrite WroteAddressOrRate(const ModuleRun& run);
std::string ResultLine(const ModuleRun& run);
nlohmann::json RunJson(const ModuleRun& run);

}  // namespace dqcli
