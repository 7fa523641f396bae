// Start-up benchmark, run by hand:
//   bench_startup [runs]
// 1. Time from process start to the main window's first paint, on Qt's
//    offscreen platform: the benchmark starts itself as a child process
//    (so dynamic loading and Qt's start-up count) and the child reports the
//    monotonic time of its first paint and its resident memory.
// 2. One initialisation in the connection window ("Inicializace připojení":
//    load TDQ2847.DLL, configure, three identification exchanges) against
//    dq7184-sim over UDP on 127.0.0.1.
// Targets: shown within 150 ms, under 40 MB resident.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Dekl.h"
#include "Hlavni.h"
#include "LoopbackUdp.h"
#include "Pripojeni.h"
#include "TempDir.h"
#include "Txxx847.h"
#include "common/BenchUtil.h"

namespace {

constexpr const char* kChildFlag = "--start-child";
constexpr double kShownTargetMs = 150.0;
constexpr double kResidentTargetMb = 40.0;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// ---- child: start the program's main window and report its first paint ----

class FirstPaint : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !reported_) {
      reported_ = true;
      const int64_t shown = NowNs();
      QMetaObject::invokeMethod(
          qApp,
          [shown]() {
            std::printf("%lld %ld\n", static_cast<long long>(shown), ResidentKb());
            std::fflush(stdout);
            std::_Exit(0);
          },
          Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool reported_ = false;
};

int RunChild(int argc, char** argv, const std::string& settingsPath) {
  QApplication application(argc, argv);
  TForm1 mainWindow(settingsPath);
  FirstPaint watcher;
  mainWindow.installEventFilter(&watcher);
  mainWindow.show();
  return application.exec();
}

// ---- parent ------------------------------------------------------------------

bool MeasureStart(const std::string& self, const std::string& settingsPath, double& shownMs, double& residentMb) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  const int64_t started = NowNs();
  const pid_t pid = dqbench::Spawn({self, kChildFlag, settingsPath}, pipeFds[1]);
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return false;
  }
  char buffer[128] = {};
  ssize_t got = 0, n = 0;
  while ((n = read(pipeFds[0], buffer + got, sizeof buffer - 1 - static_cast<size_t>(got))) > 0) got += n;
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  long long shown = 0;
  long resident = 0;
  if (std::sscanf(buffer, "%lld %ld", &shown, &resident) != 2) return false;
  shownMs = static_cast<double>(shown - started) / 1e6;
  residentMb = static_cast<double>(resident) / 1024.0;
  return true;
}

void MeasureInitialisation(int argc, char** argv, int runs) {
  const std::string simulator = dqbench::SelfDir() + "/dq7184-sim";
  if (access(simulator.c_str(), X_OK) != 0) {
    std::printf("initialisation: skipped, %s is not built\n", simulator.c_str());
    return;
  }
  const int port = dqtest::FreeUdpPort();
  const pid_t sim = dqbench::Spawn({simulator, "--no-pty", "--udp-port", std::to_string(port)});
  if (sim < 0) {
    std::printf("initialisation: skipped, the simulator did not start\n");
    return;
  }

  QApplication application(argc, argv);
  TConnectionConfig config;
  SetConnectionDefaults(&config);
  config.InterfaceType = itDq2847;
  config.IpAddress = "127.0.0.1";
  config.UdpPort = static_cast<uint32_t>(port);
  TForm2 form;
  form.SetConfig(&config);
  form.show();
  QApplication::processEvents();

  // Wait until the simulator answers (at most 3 s).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (;;) {
    form.Button1Click();
    if (config.Initialized || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  std::vector<double> times;
  QString failure;
  for (int i = 0; i < runs && config.Initialized; ++i) {
    const int64_t t0 = NowNs();
    form.Button1Click();  // closes the previous link, then opens and identifies
    times.push_back(static_cast<double>(NowNs() - t0) / 1e6);
    if (!config.Initialized) failure = form.findChild<QLabel*>("Panel1")->text();
  }
  if (config.Initialized) {
    int32_t handle = config.DriverHandle;
    DriverDone(config.InterfaceType, handle);
  }
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);

  if (times.empty() || !failure.isEmpty()) {
    std::printf("initialisation: failed (%s)\n",
                (failure.isEmpty() ? form.findChild<QLabel*>("Panel1")->text() : failure).toLocal8Bit().constData());
    return;
  }
  std::printf("initialisation over UDP (%zu runs): median %.2f ms, min %.2f ms, max %.2f ms; module %s\n",
              times.size(), dqbench::Median(times), *std::min_element(times.begin(), times.end()),
              *std::max_element(times.begin(), times.end()), config.ModuleIdent.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], kChildFlag) == 0) return RunChild(1, argv, argv[2]);

  setvbuf(stdout, nullptr, _IOLBF, 0);
  const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 15;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);

  const dqtest::TempDir folder;
  const std::string settingsPath = folder.File("W_dq7184.ini");
  std::ofstream(settingsPath, std::ios::binary) << Cp1250FromUtf8(
      "[Připojení]\r\nRozhraní=DQ-2847\r\nAdresa=1\r\nRychlost=9600\r\n"
      "[DQ-2847]\r\nIP adresa=127.0.0.1\r\nUDP port=5000\r\nUDP timeout=200\r\n");

  const std::string self = dqbench::SelfPath();
  if (self.empty()) return 1;

  std::vector<double> shown, resident;
  for (int i = 0; i < runs; ++i) {
    double ms = 0, mb = 0;
    if (!MeasureStart(self, settingsPath, ms, mb)) {
      std::printf("start: run %d failed\n", i + 1);
      continue;
    }
    shown.push_back(ms);
    resident.push_back(mb);
  }
  if (!shown.empty()) {
    std::printf("start to main window shown (%zu runs, offscreen): median %.1f ms, min %.1f ms, max %.1f ms "
                "(target %.0f ms)\n",
                shown.size(), dqbench::Median(shown), *std::min_element(shown.begin(), shown.end()),
                *std::max_element(shown.begin(), shown.end()), kShownTargetMs);
    std::printf("resident memory after start: median %.1f MB, max %.1f MB (target under %.0f MB)\n",
                dqbench::Median(resident), *std::max_element(resident.begin(), resident.end()), kResidentTargetMb);
  }

  MeasureInitialisation(1, argv, runs);
  return 0;
}
