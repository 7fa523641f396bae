// Writing a restore plan into one module: each register is written and at
// once read back; the first refusal, failed exchange or differing read-back
// stops the run, and the result says which registers were written and read
// back, which one failed and how, and which were not written.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ModuleAccess.h"
#include "SetupDiff.h"

namespace dqcommission {

enum class WriteOutcome {
  kVerified,          // written and read back with the value written
  kWriteFailed,       // the write exchange failed or was refused
  kReadBackFailed,    // written, but the read-back exchange failed
  kReadBackDiffers,   // written, and the read-back gave another value
  kNotWritten,        // not reached: an earlier register failed, or the run was stopped
};

struct WriteStep {
  RegisterWrite write;
  WriteOutcome outcome = WriteOutcome::kNotWritten;
  uint8_t status = 0;    // of the failed exchange
  uint8_t readBack = 0;  // for kVerified and kReadBackDiffers
};

struct RestoreResult {
  std::vector<WriteStep> steps;  // one per planned write, in plan order
  bool stopped = false;          // ended early because stop() said so
  bool Done() const;
  // The failed step, or nullptr when done.
  const WriteStep* Failure() const;
};

// Called after each register with the steps done so far (for progress).
using RestoreProgress = std::function<void(const WriteStep&, size_t index, size_t total)>;

// Asked before each register; true ends the run there (e.g. Ctrl+C), so
// that a register is never left written without its read-back.
using RestoreStop = std::function<bool()>;

RestoreResult WritePlan(const ModuleAccess& module, const std::vector<RegisterWrite>& plan,
                        const RestoreProgress& progress = {}, const RestoreStop& stop = {});

}  // namespace dqcommission
