#include "ShutdownSignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <utility>

#include "Hlavni.h"

namespace {

// The handler only counts the signal and writes a byte; the event loop
// reads it.
int g_signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signalCount = 0;

void OnSignal(int) {
  // The interrupted code may be about to read errno; a full pipe would
  // change it.
  const int savedErrno = errno;
  g_signalCount = g_signalCount + 1;
  const char byte = 1;
  if (g_signalPipe[1] >= 0) {
    ssize_t ignored = write(g_signalPipe[1], &byte, 1);
    (void)ignored;
  }
  errno = savedErrno;
}

void EndProcessNow(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

QString StateText(const TRegisterWriteResult& reg) {
  switch (reg.State) {
    case TRegisterWriteState::Verified:
      return QStringLiteral("zapsán a ověřen zpětným čtením");
    case TRegisterWriteState::ReadBackDiffers:
      return QStringLiteral("zapsán, zpětné čtení vrátilo jinou hodnotu");
    case TRegisterWriteState::Unknown:
      return QStringLiteral("nepotvrzen, modul může mít starou i novou hodnotu: ") + reg.ErrorText;
    case TRegisterWriteState::NotWritten:
      break;
  }
  return QStringLiteral("nezapsán");
}

// What became of each register of a failed write sequence, for standard error.
QString PartlyWrittenReport(const TWriteSequenceOutcome& outcome) {
  QString text = QStringLiteral(
      "W_DQ7184: ukončen signálem během zápisu konfigurace do modulu; zápis selhal, modul je zapsán jen zčásti:\n");
  for (const TRegisterWriteResult& reg : outcome.Registers) {
    const QString hex = QString::number(reg.Register, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    text += QStringLiteral("  registr 0x%1, hodnota %2: ").arg(hex).arg(reg.Value) +
            StateText(reg) + QLatin1Char('\n');
  }
  return text;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// A dialog busy with a sequence closes when the sequence ends; look again
// this often until no modal window is left.
constexpr int kCloseRetryMs = 50;

}  // namespace

TShutdownSignals::TShutdownSignals(TForm1* mainWindow, TEndProcess endProcess)
    : mainWindow_(mainWindow), endProcess_(endProcess ? std::move(endProcess) : TEndProcess(&EndProcessNow)) {
  SetWriteSequenceWatcher(this);
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
  SetWriteSequenceWatcher(nullptr);
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
  long arrived = 0;
  for (ssize_t n; (n = read(g_signalPipe[0], scrap, sizeof scrap)) > 0;) arrived += n;
  if (arrived == 0) return;
  // The first signal closes as "Konec" does; any later one (this call may
  // come from a box that the close is waiting on) ends the program now.
  if (!closing_ && arrived == 1) {
    closing_ = true;
    CloseStep();
    return;
  }
  closing_ = true;
  EndNow();
}

void TShutdownSignals::EndNow() {
  if (ended_) return;
  if (WriteSequenceRunning()) {
    endPending_ = true;
    return;
  }
  ended_ = true;
  const bool saved = mainWindow_->CloseWithoutBoxes();
  endProcess_(exitStatus_ != 0 ? exitStatus_ : saved ? 0 : kExitSettingsNotSaved);
}

void TShutdownSignals::WriteSequenceStarted() { signalsAtSequenceStart_ = g_signalCount; }

void TShutdownSignals::WriteSequenceEnded(const TWriteSequenceOutcome& outcome) {
  const bool signalled = closing_ || g_signalCount != signalsAtSequenceStart_;
  if (signalled && !outcome.Complete()) {
    std::fputs(PartlyWrittenReport(outcome).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    exitStatus_ = kExitModulePartlyWritten;
  }
  if (endPending_) {
    endPending_ = false;
    EndNow();
  }
}

void TShutdownSignals::CloseStep() {
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->close();
    QTimer::singleShot(kCloseRetryMs, this, &TShutdownSignals::CloseStep);
    return;
  }
  mainWindow_->close();
}
