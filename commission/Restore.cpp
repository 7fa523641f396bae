#include "Restore.h"

namespace dqcommission {

bool RestoreResult::Done() const { return Failure() == nullptr; }

const WriteStep* RestoreResult::Failure() const {
  for (const auto& step : steps) {
    if (step.outcome != WriteOutcome::kVerified) return &step;
  }
  return nullptr;
}

RestoreResult WritePlan(const ModuleAccess& module, const std::vector<RegisterWrite>& plan,
                        const RestoreProgress& progress, const RestoreStop& stop) {
  RestoreResult result;
  for (const auto& write : plan) result.steps.push_back({write});
  for (size_t i = 0; i < result.steps.size(); ++i) {
    if (stop && stop()) {
      result.stopped = true;
      break;
    }
    WriteStep& step = result.steps[i];
    step.status = module.WriteRegister(step.write.reg, step.write.to);
    if (step.status != 0) {
      step.outcome = WriteOutcome::kWriteFailed;
    } else {
      // The read-back follows the write at once, as the windows do it.
      step.status = module.ReadRegister(step.write.reg, step.readBack);
      if (step.status != 0) {
        step.outcome = WriteOutcome::kReadBackFailed;
      } else {
        step.outcome = step.readBack == step.write.to ? WriteOutcome::kVerified : WriteOutcome::kReadBackDiffers;
      }
    }
    if (progress) progress(step, i, result.steps.size());
    if (step.outcome != WriteOutcome::kVerified) break;
  }
  return result;
}

}  // namespace dqcommission
