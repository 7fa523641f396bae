#include "RestoreReport.h"

#include <cstdio>

#include "SetupRegisters.h"
#include "SetupText.h"

namespace dqcli {

namespace {

const char* OutcomeWord(dqcommission::WriteOutcome outcome) {
  switch (outcome) {
    case dqcommission::WriteOutcome::kVerified: return "verified";
    case dqcommission::WriteOutcome::kWriteFailed: return "write-failed";
    case dqcommission::WriteOutcome::kReadBackFailed: return "read-back-failed";
    case dqcommission::WriteOutcome::kReadBackDiffers: return "read-back-differs";
    case dqcommission::WriteOutcome::kNotWritten: return "not-written";
  }
  return "?";
}

}  // namespace

const char* StateWord(RunState state) {
  switch (state) {
    case RunState::kMatching: return "matching";
    case RunState::kDone: return "done";
    case RunState::kDryRun: return "dry-run";
    case RunState::kDeclined: return "declined";
    case RunState::kTypeRefused: return "type-refused";
    case RunState::kUnreachable: return "unreachable";
    case RunState::kReadFailed: return "read-failed";
    case RunState::kStopped: return "stopped";
    case RunState::kInterrupted: return "interrupted";
    case RunState::kNotReached: return "not-reached";
  }
  return "?";
}

std::string Hex(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

size_t VerifiedCount(const ModuleRun& run) {
  size_t count = 0;
  for (const auto& step : run.result.steps) count += step.outcome == dqcommission::WriteOutcome::kVerified;
  return count;
}

AddressOrRateWrite WroteAddressOrRate(const ModuleRun& run) {
  AddressOrRateWrite wrote = AddressOrRateWrite::kNone;
  for (const auto& step : run.result.steps) {
    if (!dqcommission::IsAddressOrRateRegister(step.write.reg)) continue;
    if (step.outcome == dqcommission::WriteOutcome::kVerified) {
      if (wrote == AddressOrRateWrite::kNone) wrote = AddressOrRateWrite::kVerified;
    } else if (step.outcome != dqcommission::WriteOutcome::kNotWritten) {
      wrote = AddressOrRateWrite::kUnconfirmed;
    }
  }
  return wrote;
}

// The one line of a module in a run over several addresses, and the last
// line of a single one.
std::string ResultLine(const ModuleRun& run) {
  std::string head = "address " + std::to_string(run.address) + ": ";
  switch (run.state) {
    case RunState::kMatching: return head + "matches, nothing written";
    case RunState::kDone: return head + "done, " + std::to_string(VerifiedCount(run)) + " register(s) written and read back";
    case RunState::kDryRun: return head + std::to_string(run.plan.size()) + " register(s) would be written (dry run)";
    case RunState::kNotReached: return head + "not reached: the run was interrupted";
    case RunState::kInterrupted:
    case RunState::kStopped:
      return head + "STOPPED after " + std::to_string(VerifiedCount(run)) + " of " + std::to_string(run.plan.size()) +
             " register(s) written and read back: " + run.message;
    default: return head + "FAILED: " + run.message;
  }
}

nlohmann::json RunJson(const ModuleRun& run) {
  nlohmann::json writes = nlohmann::json::array();
  for (size_t i = 0; i < run.plan.size(); ++i) {
    const auto& w = run.plan[i];
    nlohmann::json entry = {{"register", w.reg}, {"name", dqcommission::RegisterName(w.reg)}, {"from", w.from}, {"to", w.to}};
    if (i < run.result.steps.size()) {
      const auto& step = run.result.steps[i];
      entry["outcome"] = OutcomeWord(step.outcome);
      if (step.outcome == dqcommission::WriteOutcome::kVerified || step.outcome == dqcommission::WriteOutcome::kReadBackDiffers) {
        entry["readBack"] = step.readBack;
      }
    } else {
      entry["outcome"] = "not-written";
    }
    writes.push_back(entry);
  }
  nlohmann::json json = {{"address", run.address},
                         {"result", StateWord(run.state)},
                         {"differences", DifferencesJson(run.differences)},
                         {"writes", writes}};
  if (!run.type.empty()) json["type"] = run.type;
  if (!run.message.empty()) json["message"] = run.message;
  return json;
}

}  // namespace dqcli
