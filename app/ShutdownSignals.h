// Ends the program on SIGTERM, SIGINT or SIGHUP (a logout, Ctrl+C in the
// terminal, a system shutdown) the way "Konec" does: open dialogs are
// closed first, then the main window, so the settings file is written and
// the driver closed instead of the process just dying.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

class TShutdownSignals : public QObject {
 public:
  // Installs the handlers; mainWindow is closed when a signal arrives.
  explicit TShutdownSignals(QWidget* mainWindow);
  ~TShutdownSignals() override;

 private:
  void SignalArrived();
  void CloseStep();

  QWidget* mainWindow_;
  QSocketNotifier* notifier_ = nullptr;
  bool closing_ = false;
};
