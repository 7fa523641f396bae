// The windows a fault test drives, each behind one small interface: open it
// on the shared record, make one action (a click or a timer tick), read
// its message, and check what it shows once the fault is gone.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "Dekl.h"
#include "FaultRig.h"
#include "ModuleView.h"

namespace faults {

// Fills a connection window (TForm2) for the target: the test link
// parameters of FaultRig.h.
void FillConnectionWindow(QWidget* window, const LinkTarget& target);
// Opens the link through a real connection window; returns its message.
QString ConnectThroughWindow(TConnectionConfig& config, const LinkTarget& target);

// What a window sees of a fault: the library code of its exchange (0: the
// exchange succeeds after all), or a failed initialisation of the link.
struct Outcome {
  int code = 0;
  bool atInit = false;
};

class Subject {
 public:
  virtual ~Subject() = default;
  virtual const char* Name() const = 0;
  // False for the connection window, which opens the link itself.
  virtual bool NeedsLink() const { return true; }
  // Exchanges of one successful action.
  virtual int ExchangesPerAction() const = 0;
  virtual const char* Action() const = 0;  // "click" or "tick"
  virtual void Open(TConnectionConfig& config, const LinkTarget& target) = 0;
  virtual void Act() = 0;
  virtual QString Message() const = 0;
  // Replaces the message by a marker, so that a test sees each action's own.
  virtual void MarkMessage() = 0;
  // The message an action shows for the outcome.
  virtual QString Expected(const Outcome& outcome) const;
  virtual QString Success() const = 0;
  // Live windows: the timer still runs.
  virtual bool Polling() const { return true; }
  // Before the action that must work again: values for it to show.
  virtual void Prepare(ModuleView&) {}
  virtual void CheckValues(ModuleView& module, const TConnectionConfig& config) const = 0;
};

enum class WindowKind { kConnect, kConfigRead, kInputsTick, kCountersTick };
constexpr WindowKind kAllWindows[] = {WindowKind::kConnect, WindowKind::kConfigRead, WindowKind::kInputsTick,
                                      WindowKind::kCountersTick};
const char* WindowTag(WindowKind kind);  // for test names
std::unique_ptr<Subject> MakeSubject(WindowKind kind);

}  // namespace faults
