#include "WriteSequenceWatch.h"

#include "RegisterSequence.h"

namespace {

// Everything runs on the user-interface thread, and the windows are modal:
// at most one write sequence is under way.
TWriteSequenceWatcher* gWatcher = nullptr;
int gRunning = 0;

}  // namespace

bool TWriteSequenceOutcome::Complete() const {
  for (const TRegisterWriteResult& reg : Registers) {
    if (reg.State != TRegisterWriteState::Verified) return false;
  }
  return true;
}

void SetWriteSequenceWatcher(TWriteSequenceWatcher* watcher) { gWatcher = watcher; }

bool WriteSequenceRunning() { return gRunning > 0; }

TWriteSequenceScope::TWriteSequenceScope(const std::vector<TRegisterWrite>& writes) {
  for (const TRegisterWrite& write : writes) {
    TRegisterWriteResult result;
    result.Register = write.Register;
    result.Value = write.Value;
    outcome_.Registers.push_back(result);
  }
  ++gRunning;
  if (gWatcher != nullptr) gWatcher->WriteSequenceStarted();
}

TWriteSequenceScope::~TWriteSequenceScope() {
  --gRunning;
  if (gWatcher != nullptr) gWatcher->WriteSequenceEnded(outcome_);
}

void TWriteSequenceScope::Record(std::size_t step, uint8_t result, const QString& errorText) {
  if (step >= outcome_.Registers.size()) return;
  TRegisterWriteResult& reg = outcome_.Registers[step];
  reg.State = result == 0                      ? TRegisterWriteState::Verified
              : result == kWriteMismatchResult && errorText == kDataWriteErrorText ? TRegisterWriteState::ReadBackDiffers
                                               : TRegisterWriteState::Unknown;
  reg.ErrorText = errorText;
}
