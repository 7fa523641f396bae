// Live window benchmark, run by hand:
//   bench_live [seconds] [wire]   (default 30 s per window; "wire" makes the
//                                  simulator delay replies by the 9600 Bd wire time)
// Starts dq7184-sim as its own process (UDP on 127.0.0.1, a module at
// address 3), connects through TDQ2847.DLL and lets each polling window run
// on its real timer inside this process's event loop, on Qt's offscreen
// platform:
//   - the counters window (100 ms, 8 exchanges per tick),
//   - the inputs window (100 ms, 1 exchange per tick),
//   - the status register window (500 ms, 1 exchange per tick).
// For each: CPU time of this process over the run (user + system, in % of
// one core), ticks delivered per second against the nominal rate, and the
// duration of one tick (median and maximum of ticks called back to back).
// Targets for the counters window: under 2 % of one core, at least 9.5
// ticks per second.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Dekl.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "StatReg.h"
#include "Txxx847.h"

extern char** environ;

namespace {

constexpr uint8_t kSimAddress = 3;
constexpr int kTimedTicks = 200;

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string SelfDir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/'));
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

// Opens the LAN link and waits (at most 3 s) until the module answers.
bool Connect(TConnectionConfig& config, int port) {
  SetConnectionDefaults(&config);
  config.InterfaceType = itDq2847;
  config.IpAddress = "127.0.0.1";
  config.UdpPort = static_cast<uint32_t>(port);
  config.UdpTimeout = 200;
  config.ModuleAddress = kSimAddress;
  config.InitParams[0] = reinterpret_cast<intptr_t>(config.IpAddress.c_str());
  config.InitParams[1] = static_cast<intptr_t>(config.UdpPort);
  config.InitParams[2] = static_cast<intptr_t>(config.UdpTimeout);
  int32_t handle = 0;
  if (DriverInit(itDq2847, handle, config.InitParams) != 0 ||
      DriverSetConfig(itDq2847, handle, 9600, BaudTiming(4), 2) != 0)
    return false;
  config.DriverHandle = handle;
  config.Initialized = true;
  TExchangeReply reply{};
  const double deadline = NowSeconds() + 3.0;
  while (NowSeconds() < deadline) {
    uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 1;
    ModuleExchange(itDq2847, handle, kSimAddress, 200, 0, b3, b4, b5, b6, b7, status, reply);
    if (status == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Notes when the window's timer event arrives, before the tick runs.
class TickStart : public QObject {
 public:
  double at = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Timer) at = NowSeconds();
    return QObject::eventFilter(watched, event);
  }
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs `window` on its own timer for `seconds` and reports the figures.
void Measure(const char* name, TLiveDialog& window, int nominalMs, double seconds, const std::function<void()>& tick) {
  auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer1"));
  // Tick rate from the first to the last tick, so the start-up delay of one
  // interval does not count against it.
  // The tick's own duration in the loop: from the timer event to the end
  // of the timeout signal (this lambda is connected after the tick).
  int ticks = 0;
  double firstTick = 0, lastTick = 0;
  std::vector<double> inLoop;
  TickStart start;
  timer->installEventFilter(&start);
  QObject::connect(timer, &QTimer::timeout, [&]() {
    lastTick = NowSeconds();
    if (ticks++ == 0) firstTick = lastTick;
    inLoop.push_back((lastTick - start.at) * 1000.0);
  });
  window.show();

  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  const double cpu0 = CpuSeconds(), wall0 = NowSeconds();
  ticks = 0;
  loop.exec();
  const double cpu = CpuSeconds() - cpu0, wall = NowSeconds() - wall0;
  timer->stop();
  timer->removeEventFilter(&start);

  std::vector<double> durations;
  for (int i = 0; i < kTimedTicks; ++i) {
    const double t0 = NowSeconds();
    tick();
    durations.push_back((NowSeconds() - t0) * 1000.0);
  }
  timer->stop();
  std::sort(durations.begin(), durations.end());
  const QString status = window.findChild<TStatusBar*>(QStringLiteral("StatusBar1"))->PanelText(0);
  const double rate = ticks > 1 ? (ticks - 1) / (lastTick - firstTick) : 0.0;
  std::printf("%s: %.1f s, CPU %.2f %% of one core, %d ticks, %.2f ticks/s of %.2f nominal\n"
              "  tick in the loop (with repaints): median %.3f ms, max %.3f ms; back to back: median %.3f ms, "
              "max %.3f ms; status \"%s\"\n",
              name, wall, 100.0 * cpu / wall, ticks, rate, 1000.0 / nominalMs, Median(inLoop),
              inLoop.empty() ? 0.0 : *std::max_element(inLoop.begin(), inLoop.end()), Median(durations),
              durations.back(), status.toUtf8().constData());
  window.reject();
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc >= 2 ? std::max(1.0, std::atof(argv[1])) : 30.0;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

  const std::string simulator = SelfDir() + "/dq7184-sim";
  if (access(simulator.c_str(), X_OK) != 0) {
    std::printf("skipped: %s is not built\n", simulator.c_str());
    return 1;
  }
  const int port = FreeUdpPort();
  std::vector<std::string> simArgs = {simulator, "--no-pty", "--udp-port", std::to_string(port), "--address",
                                      std::to_string(kSimAddress)};
  if (argc >= 3 && std::string(argv[2]) == "wire") simArgs.push_back("--wire-timing");
  const pid_t sim = Spawn(simArgs);
  if (sim < 0) {
    std::printf("skipped: the simulator did not start\n");
    return 1;
  }

  int result = 0;
  {
    QApplication application(argc, argv);
    TConnectionConfig config;
    if (!Connect(config, port)) {
      std::printf("failed: the simulator does not answer on UDP port %d\n", port);
      result = 1;
    } else {
      {
        TForm6 counters;
        counters.SetConfig(&config);
        Measure("counters window (100 ms, 8 exchanges)", counters, 100, seconds, [&]() { counters.Timer1Timer(); });
      }
      {
        TForm11 inputs;
        inputs.SetConfig(&config);
        Measure("inputs window (100 ms, 1 exchange)", inputs, 100, seconds, [&]() { inputs.Timer1Timer(); });
      }
      {
        TForm15 status;
        status.SetConfig(&config);
        Measure("status register window (500 ms, 1 exchange)", status, 500, seconds, [&]() { status.Timer1Timer(); });
      }
      int32_t handle = config.DriverHandle;
      DriverDone(itDq2847, handle);
    }
  }
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  return result;
}
