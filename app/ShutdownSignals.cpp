#include "ShutdownSignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <csignal>

namespace {

// The handler may only write a byte; the event loop reads it.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  if (g_signalPipe[1] >= 0) {
    ssize_t ignored = write(g_signalPipe[1], &byte, 1);
    (void)ignored;
  }
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// A dialog busy with a sequence closes when the sequence ends; look again
// this often until no modal window is left.
constexpr int kCloseRetryMs = 50;

}  // namespace

TShutdownSignals::TShutdownSignals(QWidget* mainWindow) : mainWindow_(mainWindow) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0) return;
  notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TShutdownSignals::SignalArrived);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

TShutdownSignals::~TShutdownSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
  for (int& fd : g_signalPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void TShutdownSignals::SignalArrived() {
  char scrap[16];
  while (read(g_signalPipe[0], scrap, sizeof scrap) > 0) {
  }
  if (closing_) return;
  closing_ = true;
  CloseStep();
}

void TShutdownSignals::CloseStep() {
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->close();
    QTimer::singleShot(kCloseRetryMs, this, &TShutdownSignals::CloseStep);
    return;
  }
  mainWindow_->close();
}
