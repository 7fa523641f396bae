// Ends the program on SIGTERM, SIGINT or SIGHUP (a logout, Ctrl+C in the
// terminal, a system shutdown) the way "Konec" does: open dialogs are
// closed first, then the main window, so the settings file is written and
// the driver closed instead of the process just dying.
//
// A second signal ends the program at once, without waiting on any message
// box (the settings file's failure goes to standard error instead), but
// never in the middle of a register write sequence: that one is bounded and
// ends first. A write sequence that a signal caught and that then failed
// leaves the module partly written; what became of each register goes to
// standard error and the program's exit status says so.
#pragma once

#include <QObject>
#include <functional>

#include "WriteSequenceWatch.h"

class QSocketNotifier;
class TForm1;

// Exit statuses of a program ended by signals.
constexpr int kExitSettingsNotSaved = 1;     // a second signal skipped the settings file's failure box
constexpr int kExitModulePartlyWritten = 2;  // a write sequence caught by a signal failed

class TShutdownSignals : public QObject, public TWriteSequenceWatcher {
 public:
  // Ends the process at once with an exit status.
  using TEndProcess = std::function<void(int status)>;

  // Installs the handlers; mainWindow is closed when a signal arrives.
  // endProcess replaces the immediate end (standard error flushed, then
  // _exit) when given.
  explicit TShutdownSignals(TForm1* mainWindow, TEndProcess endProcess = {});
  ~TShutdownSignals() override;

  // The status the program exits with after its ordinary close: 0, or
  // kExitModulePartlyWritten.
  int ExitStatus() const { return exitStatus_; }

  void WriteSequenceStarted() override;
  void WriteSequenceEnded(const TWriteSequenceOutcome& outcome) override;

 private:
  void SignalArrived();
  void CloseStep();
  void EndNow();

  TForm1* mainWindow_;
  TEndProcess endProcess_;
  QSocketNotifier* notifier_ = nullptr;
  bool closing_ = false;
  bool endPending_ = false;  // a second signal waits for the write sequence
  bool ended_ = false;
  long signalsAtSequenceStart_ = 0;
  int exitStatus_ = 0;
};
