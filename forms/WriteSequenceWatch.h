// The register write sequence under way, and what became of each of its
// registers. One watcher per process (the program's end on signals) learns
// when a sequence starts and how it ended, so that the program never ends in
// the middle of one and can say how far a failed one got.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

struct TRegisterWrite;

// What became of one register of a write sequence.
enum class TRegisterWriteState {
  NotWritten,       // the sequence ended before it
  Verified,         // written, and the read-back gave the value
  ReadBackDiffers,  // written, but the read-back gave another value
  Unknown,          // the write or its read-back failed: the module may hold either value
};

struct TRegisterWriteResult {
  uint8_t Register = 0;
  uint8_t Value = 0;
  TRegisterWriteState State = TRegisterWriteState::NotWritten;
  QString ErrorText;  // the failure's text (no leading blank); empty otherwise
};

struct TWriteSequenceOutcome {
  std::vector<TRegisterWriteResult> Registers;
  // Every register written and verified.
  bool Complete() const;
};

class TWriteSequenceWatcher {
 public:
  virtual ~TWriteSequenceWatcher() = default;
  virtual void WriteSequenceStarted() = 0;
  virtual void WriteSequenceEnded(const TWriteSequenceOutcome& outcome) = 0;
};

// The process's watcher; nullptr for none.
void SetWriteSequenceWatcher(TWriteSequenceWatcher* watcher);

// Whether a register write sequence is under way.
bool WriteSequenceRunning();

// Marks a write sequence under way for its lifetime and records each
// register's result; the watcher hears of its start and, at the end of the
// scope, of its outcome.
class TWriteSequenceScope {
 public:
  explicit TWriteSequenceScope(const std::vector<TRegisterWrite>& writes);
  ~TWriteSequenceScope();
  TWriteSequenceScope(const TWriteSequenceScope&) = delete;
  TWriteSequenceScope& operator=(const TWriteSequenceScope&) = delete;

  // The result of step `step` as WriteRegisterVerified gives it: 0,
  // kWriteMismatchResult or a failed status, with its text.
  void Record(std::size_t step, uint8_t result, const QString& errorText);

 private:
  TWriteSequenceOutcome outcome_;
};
