// exchange_bounds: how long one Send takes when the module stays silent,
// answers with a bad CRC (always, or once), answers too late or twice, or
// sends a reply frame that never ends, over the pseudo-terminal (TCOM847)
// and UDP (TDQ2847, UDP timeout 200 ms and 0), at 9600 and 115200 Bd, set
// against the bound of docs/protocol.md section 5 that the case must keep.
// A bound is held when the longest Send is at most the bound plus the
// scheduling allowance: the thread's wake-up after the deadline that ends
// each attempt, 1 ms an attempt on the serial line (whose attempts follow
// each other) and 1 ms a Send over UDP (whose attempts share one
// deadline). The simulator runs in this process, on loopback only.
//
//   exchange_bounds [--count N]
//
// Exit status 3 when a bound was not held.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "InProcessSim.h"
#include "LinkSettings.h"
#include "PortMap.h"
#include "Txxx847.h"
#include "bounds/EndlessFrame.h"
#include "sim/simulator/Simulator.h"

namespace {

constexpr uint8_t kAddress = 3;
constexpr int kRetries = 2;
constexpr int kSimPort = 9;       // the simulator's pseudo-terminal
constexpr int kEndlessPort = 10;  // the module whose frame never ends
// What a wait may take beyond its deadline: the thread's wake-up.
constexpr double kWakeUpMs = 1.0;

// Which bound of section 5 a case keeps.
enum class Bound {
  kSilent,  // serial: (retries + 1) x T_first; UDP: the exchange bound
  kSend,    // serial: (retries + 1) x the attempt bound; UDP: the exchange bound
};

struct Row {
  const char* name;
  std::vector<dqsim::Fault> faults;
  int lateMs;  // replies may still come this long after the fault ends
  Bound bound;
};

const std::vector<Row> kRows = {
    {"on time", {}, 0, Bound::kSend},
    {"silent (silence always)", {{dqsim::FaultKind::kSilence, -1, -1}}, 0, Bound::kSilent},
    {"bad CRC every reply (corrupt-crc always)", {{dqsim::FaultKind::kCorruptCrc, -1, -1}}, 0, Bound::kSend},
    {"bad CRC once, then good (corrupt-crc next 1)", {{dqsim::FaultKind::kCorruptCrc, -1, 1}}, 0, Bound::kSend},
    {"400 ms late (delay 400 always)", {{dqsim::FaultKind::kDelay, 400, -1}}, 400, Bound::kSilent},
    {"every reply twice (duplicate always)", {{dqsim::FaultKind::kDuplicate, -1, -1}}, 0, Bound::kSend},
};

struct Link {
  const char* name;
  TInterfaceType type;
  int udpTimeoutMs;  // LAN only
};

const Link kLinks[] = {
    {"COM (pty)", itComPort, 0},
    {"UDP 200", itDq2847, 200},
    {"UDP 0", itDq2847, 0},
};

int TimingOf(int rate) { return rate == 9600 ? 13 : 5; }

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

double Ms(int64_t micros) { return static_cast<double>(micros) / 1000; }

double AllowanceMs(const Link& link) { return link.type == itDq2847 ? kWakeUpMs : (kRetries + 1) * kWakeUpMs; }

double StatedBoundMs(const Link& link, const dqbus::LinkSettings& settings, Bound bound) {
  if (link.type == itDq2847) return Ms(dqbus::LanExchangeBoundMicros(settings, link.udpTimeoutMs));
  const int64_t first = dqbus::SerialFirstByteWindowMicros(settings);
  const int64_t attempt = first + dqbus::SerialRestWindowMicros(settings, dqbus::kReplyMaxSize);
  return Ms((settings.retries + 1) * (bound == Bound::kSilent ? first : attempt));
}

// The in-process simulator of one baud rate, reachable as COM9 and on UDP.
bool StartSim(dqtest::InProcessSim& rig, int baudCode) {
  dqsim::SimOptions options;
  options.addresses = {kAddress};
  options.baudCode = static_cast<uint8_t>(baudCode);
  options.comPort = kSimPort;
  options.udp = true;
  options.udpPort = 0;
  options.inputPattern = false;
  const std::string error = rig.Start(options);
  if (!error.empty()) std::fprintf(stderr, "simulator: %s\n", error.c_str());
  return error.empty();
}

bool OpenLink(const Link& link, int comPort, uint16_t udpPort, int rate, int32_t& handle) {
  static const std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {comPort};
  if (link.type == itDq2847) {
    params[0] = reinterpret_cast<intptr_t>(ip.c_str());
    params[1] = udpPort;
    params[2] = link.udpTimeoutMs;
  }
  handle = 0;
  if (DriverInit(link.type, handle, params) != 0 || DriverSetConfig(link.type, handle, rate, TimingOf(rate), kRetries) != 0) {
    std::fprintf(stderr, "cannot open the link %s\n", link.name);
    return false;
  }
  return true;
}

// The machine's own part: how late a bare ppoll wakes after a deadline
// 31 ms away (a T_first at 115200 Bd), as the exchanges' waits do.
void PrintWakeUps(const char* when, int count) {
  std::vector<double> late;
  for (int i = 0; i < count; ++i) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(31100);
    const timespec wait{0, 31100 * 1000};
    ppoll(nullptr, 0, &wait, nullptr);
    late.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - deadline).count());
  }
  double load[3] = {};
  getloadavg(load, 3);
  std::printf("%s: bare ppoll wake-up after its deadline, ms: median %.2f, 90 %% %.2f, max %.2f (%d waits); "
              "load average %.1f\n",
              when, Percentile(late, 0.5), Percentile(late, 0.9), Percentile(late, 1.0), count, load[0]);
}

class Report {
 public:
  Report() {
    std::printf("| link | Bd | module | code | Send ms median | 90 %% | max | stated bound | max - bound | held |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  }
  // Measures `count` Sends (a register read); before each, `arm` sets the
  // module's fault up, after each `disarm` clears it.
  template <typename Arm, typename Disarm>
  void Measure(const Link& link, int rate, int32_t handle, const char* module, double boundMs, int count, Arm arm,
               Disarm disarm) {
    const double allowanceMs = AllowanceMs(link);
    std::vector<double> ms;
    int code = 0;
    for (int i = 0; i < count; ++i) {
      arm();
      uint8_t b3 = 0, b4 = 0x3F, b5 = 0x3F, b6 = 0, b7 = 0, status = 0;
      TExchangeReply reply{};
      const auto t0 = std::chrono::steady_clock::now();
      ModuleExchange(link.type, handle, kAddress, 102, 0, b3, b4, b5, b6, b7, status, reply);
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
      code = status;
      disarm();
    }
    const double max = Percentile(ms, 1.0);
    const bool held = max <= boundMs + allowanceMs;
    if (!held) ++missed_;
    std::printf("| %s | %d | %s | %d | %.1f | %.2f | %.2f | %.1f | %+.2f | %s |\n", link.name, rate, module, code,
                Percentile(ms, 0.5), Percentile(ms, 0.9), max, boundMs, max - boundMs, held ? "yes" : "NO");
    std::fflush(stdout);
  }
  int Missed() const { return missed_; }

 private:
  int missed_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int count = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      count = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: exchange_bounds [--count N]\n");
      return 2;
    }
  }
  std::printf("scheduling allowance: %.1f ms an attempt on COM, %.1f ms a Send over UDP; %d Sends a row, %d retries\n\n",
              kWakeUpMs, kWakeUpMs, count, kRetries);
  PrintWakeUps("before", 100);
  std::printf("\n");
  Report report;
  for (int baudCode : {4, 8}) {
    const int rate = baudCode == 4 ? 9600 : 115200;
    const dqbus::LinkSettings settings = dqbus::Clamped(static_cast<uint32_t>(rate), TimingOf(rate), kRetries);
    for (const Link& link : kLinks) {
      dqtest::InProcessSim rig;
      if (!StartSim(rig, baudCode)) return 1;
      int32_t handle = 0;
      if (!OpenLink(link, kSimPort, rig.Sim().UdpPort(), rate, handle)) return 1;
      for (const Row& row : kRows) {
        report.Measure(
            link, rate, handle, row.name, StatedBoundMs(link, settings, row.bound), count,
            [&] {
              for (const auto& fault : row.faults) rig.Sim().AddFault(fault);
            },
            [&] {
              rig.Sim().ClearFaults();
              if (row.lateMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(row.lateMs + 50));
            });
      }
      DriverDone(link.type, handle);
      if (link.type != itComPort) continue;
      // A reply frame that never ends: every attempt runs to its hard bound.
      bench::EndlessFrame endless;
      if (dqports::SetEntryIn(rig.PortMap(), kEndlessPort, endless.Path()) != 0 ||
          !OpenLink(link, kEndlessPort, 0, rate, handle)) {
        return 1;
      }
      report.Measure(link, rate, handle, "a frame that never ends", StatedBoundMs(link, settings, Bound::kSend),
                     count, [] {}, [] {});
      DriverDone(link.type, handle);
    }
  }
  std::printf("\n");
  PrintWakeUps("after", 100);
  if (report.Missed() > 0) {
    std::printf("\n%d bound(s) not held\n", report.Missed());
    return 3;
  }
  std::printf("\nevery bound held\n");
  return 0;
}
