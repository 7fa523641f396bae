// Live window benchmark, run by hand:
//   bench_live [seconds] [wire] [--baud RATE] [--com] [--counters]
//     seconds     per window (default 30)
//     wire        the simulator keeps to the wire time of the bus rate
//     --baud      bus rate of the module and the link (default 9600)
//     --com       through the simulator's pseudo-terminal and TCOM847.DLL
//                 (COM247 in a temporary port map) instead of UDP
//     --counters  only the counters window
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
// ticks per second. With wire timing the counters tick is also set against
// its wire floor (eight exchanges of request, 25-byte reply and the
// simulator's 1 ms turnaround), with the simulator's requests per tick: 8
// when no exchange had to be repeated.
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
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
#include "LoopbackUdp.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "OpenLink.h"
#include "StatReg.h"
#include "TempDir.h"
#include "Txxx847.h"
#include "common/BenchUtil.h"
#include "core/BaudRates.h"

namespace {

constexpr uint8_t kSimAddress = 3;
constexpr int kTimedTicks = 200;
constexpr uint8_t kComPort = 247;
constexpr double kTurnaroundMs = 1.0;  // the simulator's with wire timing
// Frame sizes of one counter group exchange: the request, and the reply
// with its 16 data bytes.
constexpr int kRequestBytes = 13;
constexpr int kCounterReplyBytes = 9 + 16;

struct Link {
  TInterfaceType type = itDq2847;
  uint32_t rate = 9600;
  int udpPort = 0;
  std::string controlPath;  // the simulator's control socket
};

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Opens the link and waits (at most 3 s) until the module answers.
bool Connect(TConnectionConfig& config, const Link& link) {
  SetConnectionDefaults(&config);
  config.InterfaceType = link.type;
  config.ModuleAddress = kSimAddress;
  config.BaudRate = link.rate;
  if (link.type == itDq2847) {
    config.IpAddress = "127.0.0.1";
    config.UdpPort = static_cast<uint32_t>(link.udpPort);
    config.UdpTimeout = 200;
  } else {
    config.ComPort = kComPort;
  }
  PackInitParams(config);
  const double deadline = NowSeconds() + 3.0;
  while (NowSeconds() < deadline) {
    // The port map entry appears once the simulator is up; until the module
    // answers, each attempt closes its link again.
    if (OpenLink(config, kSimAddress, static_cast<uint8_t>(dqcore::BaudCodeOf(link.rate))).Opened()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// The simulator's count of requests heard, through its control socket (-1
// when it does not answer).
long long SimRequests(const std::string& controlPath) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", controlPath.c_str());
  long long requests = -1;
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && write(fd, "stats\n", 6) == 6) {
    char buffer[512];
    ssize_t n;
    while (answer.find("ok\n") == std::string::npos && (n = read(fd, buffer, sizeof buffer)) > 0)
      answer.append(buffer, static_cast<size_t>(n));
    if (std::sscanf(answer.c_str(), "requests %lld", &requests) != 1) requests = -1;
  }
  close(fd);
  return requests;
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

// Runs `window` on its own timer for `seconds` and reports the figures.
// floorMs > 0: the tick's wire floor, set against the back-to-back ticks,
// with the simulator's requests per tick.
void Measure(const char* name, TLiveDialog& window, int nominalMs, double seconds, const Link& link, double floorMs,
             const std::function<void()>& tick) {
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

  // Back to back: kTimedTicks, or fewer (at least 3) when a slow bus would
  // take longer than `seconds` for them.
  std::vector<double> durations;
  const long long requests0 = SimRequests(link.controlPath);
  const double until = NowSeconds() + seconds;
  for (int i = 0; i < kTimedTicks && (i < 3 || NowSeconds() < until); ++i) {
    const double t0 = NowSeconds();
    tick();
    durations.push_back((NowSeconds() - t0) * 1000.0);
  }
  const long long requests = SimRequests(link.controlPath) - requests0;
  timer->stop();
  const double median = dqbench::Median(durations);
  std::sort(durations.begin(), durations.end());
  const QString status = window.findChild<TStatusBar*>(QStringLiteral("StatusBar1"))->PanelText(0);
  const double rate = ticks > 1 ? (ticks - 1) / (lastTick - firstTick) : 0.0;
  std::printf("%s: %.1f s, CPU %.2f %% of one core, %d ticks, %.2f ticks/s of %.2f nominal\n"
              "  tick in the loop (with repaints): median %.3f ms, max %.3f ms; back to back (%zu): median %.3f ms, "
              "max %.3f ms; status \"%s\"\n",
              name, wall, 100.0 * cpu / wall, ticks, rate, 1000.0 / nominalMs, dqbench::Median(inLoop),
              inLoop.empty() ? 0.0 : *std::max_element(inLoop.begin(), inLoop.end()), durations.size(), median,
              durations.back(), status.toUtf8().constData());
  if (floorMs > 0) {
    std::printf("  %u Bd: wire floor %.1f ms, back-to-back median / floor %.3f, simulator requests per tick %.2f\n",
                link.rate, floorMs, median / floorMs,
                requests0 >= 0 && requests >= 0 ? static_cast<double>(requests) / durations.size() : -1.0);
  }
  window.reject();
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 30.0;
  bool wire = false, countersOnly = false;
  Link link;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "wire") {
      wire = true;
    } else if (arg == "--com") {
      link.type = itComPort;
    } else if (arg == "--counters") {
      countersOnly = true;
    } else if (arg == "--baud" && i + 1 < argc) {
      link.rate = static_cast<uint32_t>(std::atol(argv[++i]));
    } else if (i == 1 && std::atof(argv[1]) > 0) {
      seconds = std::max(1.0, std::atof(argv[1]));
    } else {
      std::fprintf(stderr, "usage: bench_live [seconds] [wire] [--baud RATE] [--com] [--counters]\n");
      return 2;
    }
  }
  if (dqcore::BaudCodeOf(link.rate) < 0) {
    std::fprintf(stderr, "bench_live: %u is not a bus rate\n", link.rate);
    return 2;
  }
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

  const std::string simulator = dqbench::SelfDir() + "/dq7184-sim";
  if (access(simulator.c_str(), X_OK) != 0) {
    std::printf("skipped: %s is not built\n", simulator.c_str());
    return 1;
  }
  const dqtest::TempDir scratch;
  const std::string mapPath = scratch.File("ports.conf");
  link.controlPath = scratch.File("control.sock");
  std::vector<std::string> simArgs = {simulator, "--address", std::to_string(kSimAddress), "--baud-code",
                                      std::to_string(dqcore::BaudCodeOf(link.rate)), "--control", link.controlPath};
  if (link.type == itDq2847) {
    link.udpPort = dqtest::FreeUdpPort();
    simArgs.insert(simArgs.end(), {"--no-pty", "--udp-port", std::to_string(link.udpPort)});
  } else {
    setenv("DQ7184_PORTMAP", mapPath.c_str(), 1);
    simArgs.insert(simArgs.end(), {"--no-udp", "--com", std::to_string(kComPort), "--port-map", mapPath});
  }
  if (wire) simArgs.push_back("--wire-timing");
  const pid_t sim = dqbench::Spawn(simArgs);
  if (sim < 0) {
    std::printf("skipped: the simulator did not start\n");
    return 1;
  }

  int result = 0;
  {
    QApplication application(argc, argv);
    TConnectionConfig config;
    if (!Connect(config, link)) {
      std::printf("failed: the simulator does not answer (%s)\n", link.type == itDq2847 ? "UDP" : "COM247");
      result = 1;
    } else {
      std::printf("%s at %u Bd%s\n", link.type == itDq2847 ? "UDP" : "COM247 (pseudo-terminal)", link.rate,
                  wire ? ", wire timing" : "");
      const double counterFloorMs =
          wire ? 8 * ((kRequestBytes + kCounterReplyBytes) * 10 * 1000.0 / link.rate + kTurnaroundMs) : 0.0;
      {
        TForm6 counters;
        counters.SetConfig(&config);
        Measure("counters window (100 ms, 8 exchanges)", counters, 100, seconds, link, counterFloorMs,
                [&]() { counters.Timer1Timer(); });
      }
      if (!countersOnly) {
        TForm11 inputs;
        inputs.SetConfig(&config);
        Measure("inputs window (100 ms, 1 exchange)", inputs, 100, seconds, link, 0.0, [&]() { inputs.Timer1Timer(); });
      }
      if (!countersOnly) {
        TForm15 status;
        status.SetConfig(&config);
        Measure("status register window (500 ms, 1 exchange)", status, 500, seconds, link, 0.0,
                [&]() { status.Timer1Timer(); });
      }
      int32_t handle = config.DriverHandle;
      DriverDone(link.type, handle);
    }
  }
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  return result;
}
