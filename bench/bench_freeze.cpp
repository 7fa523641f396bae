// Freeze benchmark of the polling windows, run by hand under an X server:
//   xvfb-run -a bench_freeze [samples] [--timeout MS]
//     samples     key presses per window (default 40)
//     --timeout   UDP timeout of the link in ms (default 200, the default
//                 of the settings)
// Every exchange runs on the window thread, so while the module does not
// answer each tick freezes the window for one whole exchange. This measures
// how long the user waits: the link goes through TDQ2847.DLL to a UDP socket
// on 127.0.0.1 that receives every request and answers none, and each
// polling window runs on its real timer in this process's event loop
// (platform xcb). A second thread with its own X connection sends a key
// press to the window at random moments, one at a time, and the window's
// event filter notes when Qt hands the key to the window: the wait is from
// the send to that moment, the same path a key of the real keyboard takes.
// It is set against the duration of one failing exchange measured on the
// same link (the bound of one exchange), for:
//   - the inputs window (100 ms, 1 exchange a tick, timer never stopped),
//   - the status register window (500 ms, 1 exchange a tick, never stopped),
//   - the clock window (200 ms, 1 failing exchange a tick),
//   - the counters window (100 ms, timer stopped during a tick).
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Dekl.h"
#include "LiveDialog.h"
#include "LoopbackUdp.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "OpenLink.h"
#include "RTC.h"
#include "StatReg.h"
#include "Txxx847.h"
#include "freeze/XKeySender.h"

namespace {

constexpr uint8_t kAddress = 3;

double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool Connect(TConnectionConfig& config, int port, int timeoutMs) {
  SetConnectionDefaults(&config);
  config.InterfaceType = itDq2847;
  config.ModuleAddress = kAddress;
  config.IpAddress = "127.0.0.1";
  config.UdpPort = static_cast<uint32_t>(port);
  config.UdpTimeout = static_cast<uint32_t>(timeoutMs);
  PackInitParams(config);
  // Nothing answers on the port: the link is opened without identification.
  return StartLink(config, BaudCodeFromRate(9600)).Opened();
}

// Duration of one exchange that gets no answer, and its status.
double FailingExchangeMs(const TConnectionConfig& config, uint8_t& status) {
  TExchangeReply reply{};
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0;
  const double t0 = NowMs();
  ModuleExchange(config.InterfaceType, config.DriverHandle, kAddress, 0, 64, b3, b4, b5, b6, b7, status, reply);
  return NowMs() - t0;
}

// Notes when the probe key reaches the window.
class KeyWatch : public QObject {
 public:
  std::atomic<double> handledAt{0};

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F12 &&
        handledAt.load() == 0)
      handledAt = NowMs();
    return false;
  }
};

struct Figures {
  double median = 0, p90 = 0, max = 0;
  int lost = 0;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

// Sends `samples` probe keys to `window` at random moments while its timer
// runs and returns the waits.
Figures Measure(TLiveDialog& window, int samples, double spreadMs, std::mt19937& random) {
  window.show();
  window.activateWindow();
  window.raise();
  KeyWatch watch;
  qApp->installEventFilter(&watch);
  QEventLoop settle;
  QTimer::singleShot(300, &settle, &QEventLoop::quit);
  settle.exec();

  const unsigned long target = static_cast<unsigned long>(window.winId());
  std::vector<double> waits;
  std::atomic<bool> done{false};
  std::atomic<double> sentAt{0};
  int lost = 0;
  std::vector<double> delays;
  std::uniform_real_distribution<double> pick(0.0, spreadMs);
  for (int i = 0; i < samples; ++i) delays.push_back(pick(random));

  std::thread sender([&]() {
    XKeySender keys;
    if (!keys.Open()) {
      done = true;
      return;
    }
    for (double delay : delays) {
      std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(delay * 1000)));
      watch.handledAt = 0;
      sentAt = NowMs();
      keys.SendF12(target);
      // The next key only after this one arrived (or 5 s passed).
      while (watch.handledAt.load() == 0 && NowMs() - sentAt.load() < 5000)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (watch.handledAt.load() == 0)
        ++lost;
      else
        waits.push_back(watch.handledAt.load() - sentAt.load());
    }
    done = true;
  });
  QTimer poll;
  QEventLoop loop;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
    if (done) loop.quit();
  });
  poll.start(20);
  loop.exec();
  sender.join();
  qApp->removeEventFilter(&watch);
  window.reject();

  Figures figures;
  figures.median = Percentile(waits, 0.5);
  figures.p90 = Percentile(waits, 0.9);
  figures.max = waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());
  figures.lost = lost;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  int samples = 40, timeoutMs = 200;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--timeout" && i + 1 < argc) {
      timeoutMs = std::atoi(argv[++i]);
    } else if (std::atoi(argv[i]) > 0) {
      samples = std::atoi(argv[i]);
    } else {
      std::fprintf(stderr, "usage: bench_freeze [samples] [--timeout MS]\n");
      return 2;
    }
  }
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  if (qgetenv("QT_QPA_PLATFORM") != "xcb" || std::getenv("DISPLAY") == nullptr) {
    std::printf("skipped: needs an X server (run under xvfb-run -a)\n");
    return 1;
  }
  InitXThreads();
  QApplication application(argc, argv);

  // A UDP socket on loopback that takes every datagram and never answers.
  uint16_t port = 0;
  const int peer = dqtest::BindLoopbackUdp(port);
  TConnectionConfig config;
  if (peer < 0 || !Connect(config, port, timeoutMs)) {
    std::printf("failed: no link to the silent UDP peer\n");
    return 1;
  }
  uint8_t status = 0;
  std::vector<double> exchanges;
  for (int i = 0; i < 5; ++i) exchanges.push_back(FailingExchangeMs(config, status));
  const double bound = *std::max_element(exchanges.begin(), exchanges.end());
  std::printf("UDP timeout %d ms: one failing exchange takes %.0f ms (median of 5 %.0f ms), status %u\n", timeoutMs,
              bound, Percentile(exchanges, 0.5), status);
  std::printf("| window | timer | key waits: median / 90 %% / max ms | max / one exchange | lost |\n");
  std::printf("|---|---|---|---|---|\n");

  std::mt19937 random(7184);
  auto report = [&](const char* name, int intervalMs, TLiveDialog& window) {
    window.SetConfig(&config);
    const Figures f = Measure(window, samples, intervalMs + bound, random);
    std::printf("| %s | %d ms | %.0f / %.0f / %.0f | %.2f | %d |\n", name, intervalMs, f.median, f.p90, f.max,
                f.max / bound, f.lost);
    std::fflush(stdout);
  };
  {
    TForm11 inputs;
    report("inputs", 100, inputs);
  }
  {
    TForm15 statusRegister;
    report("status register", 500, statusRegister);
  }
  {
    TForm3 clock;
    report("clock", 200, clock);
  }
  {
    TForm6 counters;
    report("counters", 100, counters);
  }
  int32_t handle = config.DriverHandle;
  DriverDone(itDq2847, handle);
  close(peer);
  return 0;
}
