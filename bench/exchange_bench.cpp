// Exchange benchmark through the whole stack, run by hand:
//   exchange_bench [--quick] [--markdown] [--only udp|pty] [--cpus one|two|free]
//                  [--simulator PATH]
//
// 1. UDP loopback: ModuleExchange -> TDQ2847.DLL -> UDP -> dq7184-sim (a child
//    process on 127.0.0.1), against a raw UDP echo of the same datagram sizes
//    (another child process, blocking recvfrom/sendto; the client blocking
//    send/recv) measured in the same run. Two more cases split the time:
//    the library against a minimal converter that answers at once (the
//    library's share), and a raw client against the simulator (the
//    simulator's share). The blocks of all four cases are interleaved so
//    that load from elsewhere hits them alike.
//    Target: full-stack median within 1.5 x the echo median.
// 2. Pseudo-terminal: ModuleExchange -> TCOM847.DLL -> the simulator's pty
//    (COMn through DQ7184_PORTMAP naming a temporary map) with --wire-timing,
//    at 115200 and 9600 Bd. The simulator takes the wire time of request and
//    reply (10 bits per byte) and the module's 1 ms turnaround.
//    Target: median and p99 within 1.05 x wire time + 0.5 ms.
//
// --quick runs fewer exchanges; --markdown also prints the tables as
// Markdown for docs/benchmarks.md; --only runs one of the two parts;
// --cpus places the processes (exchange/Placement.h; default one CPU);
// --simulator names another simulator executable than the one beside this
// program (to compare builds). Exit status 0 when every target is met,
// 3 when one is missed, 1 when the benchmark could not run.
#include <dlfcn.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "Dekl.h"
#include "Protocol.h"
#include "TempDir.h"
#include "Txxx847.h"
#include "common/BenchUtil.h"
#include "exchange/Child.h"
#include "exchange/Placement.h"
#include "exchange/Stats.h"
#include "exchange/UdpPeers.h"

using namespace xbench;

namespace {

constexpr const char* kPeerFlag = "--peer-server";
constexpr double kUdpTargetRatio = 1.5;
constexpr double kWireTargetFactor = 1.05;
constexpr double kWireTargetSlackUs = 500.0;
constexpr int kComPort = 247;  // COM number entered into the temporary port map
constexpr uint8_t kModuleAddress = 1;

const Command kCommands[] = {
    {"inputs 0/64", 0, 64, 0, 0, 4},
    {"counters 202/0", 202, 0, 0, 0, 16},
    {"register read 102", 102, 0, 0x3F, 0x3F, 4},
    {"outputs 1/64", 1, 64, 0, 0, 0},  // status only: the shortest reply
};
constexpr size_t kCommandCount = std::size(kCommands);

std::string Machine() {
  std::string model = "unknown CPU";
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname u{};
  uname(&u);
  std::string load;
  std::ifstream("/proc/loadavg") >> load;
  return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " CPUs, Linux " + u.release +
         ", load average " + load + " at start";
}

// Times `count` exchanges of one command; false at the first failure (its
// status, or minus the reply count when that was wrong, in *failure).
bool RunExchanges(TInterfaceType type, int32_t handle, const Command& c, int count, std::vector<double>& samples,
                  int* failure) {
  TExchangeReply reply;
  for (int i = 0; i < count; ++i) {
    uint8_t b3 = 0, b4 = c.b4, b5 = c.b5, b6 = 0, b7 = 0, status = 0;
    const int64_t t0 = MonotonicNs();
    ModuleExchange(type, handle, kModuleAddress, c.command, c.subcode, b3, b4, b5, b6, b7, status, reply);
    const int64_t t1 = MonotonicNs();
    if (status != 0 || b3 != c.dataBytes) {
      *failure = status != 0 ? status : -static_cast<int>(b3);
      return false;
    }
    samples.push_back(static_cast<double>(t1 - t0) / 1e3);
  }
  return true;
}

// ---- UDP ----------------------------------------------------------------------------------

struct UdpResult {
  Summary stack;    // ModuleExchange -> TDQ2847 -> simulator
  Summary library;  // ModuleExchange -> TDQ2847 -> minimal converter
  Summary sim;      // raw client -> simulator
  Summary echo;     // raw client -> echo
  size_t replyBytes = 0;
  bool failed = false;
  bool Met() const { return !failed && stack.medianUs <= kUdpTargetRatio * echo.medianUs; }
};

// A second link of the LAN library, to the minimal converter: the access
// layer holds one library, whose entry points are reached here directly.
class ExtraLanLink {
 public:
  bool Open(int port) {
    library_ = dlopen("TDQ2847.DLL", RTLD_NOW | RTLD_NOLOAD);
    if (library_ == nullptr) return false;
    auto init = reinterpret_cast<int32_t (*)(int32_t*, const intptr_t*)>(dlsym(library_, "TDQ2847_Init"));
    auto setConfig = reinterpret_cast<int32_t (*)(int32_t, int32_t, int32_t, int32_t)>(
        dlsym(library_, "TDQ2847_SetConfig"));
    done_ = reinterpret_cast<int32_t (*)(int32_t*)>(dlsym(library_, "TDQ2847_Done"));
    static const char kIp[] = "127.0.0.1";
    intptr_t block[kInitParamCount] = {reinterpret_cast<intptr_t>(kIp), port, 0};
    return init != nullptr && setConfig != nullptr && done_ != nullptr && init(&handle_, block) == 0 &&
           setConfig(handle_, 115200, 5, 2) == 0;
  }
  ~ExtraLanLink() {
    if (handle_ != 0 && done_ != nullptr) done_(&handle_);
    if (library_ != nullptr) dlclose(library_);
  }
  int32_t Handle() const { return handle_; }

 private:
  void* library_ = nullptr;
  int32_t (*done_)(int32_t*) = nullptr;
  int32_t handle_ = 0;
};

bool BenchUdp(const std::string& self, const std::string& simulator, const CpuPlacement& cpus, int perCommand,
              std::vector<UdpResult>& results) {
  Child sim, peer;
  cpus.ForChildren();
  sim.Start({simulator, "--no-pty", "--udp-port", "0", "-b", "8", "-a", std::to_string(kModuleAddress),
             "--no-input-pattern"});
  peer.Start({self, kPeerFlag});
  cpus.ForSelf();
  const std::string udp = Field(sim.ReadUntil("ready"), "udp");
  const std::string peerPort = Field(peer.ReadUntil("port"), "port");
  const size_t colon = udp.rfind(':');
  if (colon == std::string::npos || peerPort.empty()) {
    std::printf("UDP: the simulator or the peer server did not start\n");
    return false;
  }
  const int simPort = std::atoi(udp.c_str() + colon + 1);
  const int peerFd = ConnectedUdp(std::atoi(peerPort.c_str()));
  const int simFd = ConnectedUdp(simPort);

  static const char kIp[] = "127.0.0.1";
  intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(kIp), simPort, 0};  // timeout 0: LAN minimum
  int32_t handle = 0;
  int32_t code = DriverInit(itDq2847, handle, params);
  if (code == 0) code = DriverSetConfig(itDq2847, handle, 115200, 5, 2);
  bool ok = code == 0 && peerFd >= 0 && simFd >= 0;
  if (!ok) std::printf("UDP: TDQ2847 Init/SetConfig gave %d\n", code);
  ExtraLanLink extra;
  if (ok && !extra.Open(std::atoi(peerPort.c_str()))) {
    std::printf("UDP: second TDQ2847 link to the minimal converter failed\n");
    ok = false;
  }

  std::vector<std::vector<double>> stack(kCommandCount), library(kCommandCount), raw(kCommandCount),
      echo(kCommandCount);
  std::vector<bool> failed(kCommandCount, false);
  // One pass: a block of each case for each command.
  auto pass = [&](int block, bool keep) {
    for (size_t i = 0; ok && i < kCommandCount; ++i) {
      const Command& c = kCommands[i];
      const size_t replyBytes = dqbus::kUdpHeaderSize + dqbus::kReplyMinSize + c.dataBytes;
      std::vector<double> scrap;
      int failure = 0;
      if (!failed[i] && !RunExchanges(itDq2847, handle, c, block, keep ? stack[i] : scrap, &failure)) {
        std::printf("UDP: %s failed with status %d\n", c.name, failure);
        failed[i] = true;
      }
      if (!failed[i] && !RunExchanges(itDq2847, extra.Handle(), c, block, keep ? library[i] : scrap, &failure)) {
        std::printf("UDP: %s against the minimal converter failed with status %d\n", c.name, failure);
        failed[i] = true;
      }
      const std::vector<uint8_t> request = RequestDatagram(kModuleAddress, c, static_cast<uint16_t>(i));
      if (!RawRoundTrips(simFd, request, replyBytes, block, keep ? raw[i] : scrap) ||
          !RawRoundTrips(peerFd, EchoDatagram(replyBytes), replyBytes, block, keep ? echo[i] : scrap)) {
        std::printf("UDP: a raw round trip failed\n");
        ok = false;
      }
    }
  };
  pass(200, false);  // warm-up: caches, page faults, the simulator's first allocations
  const int rounds = 10;
  for (int r = 0; ok && r < rounds; ++r) pass(std::max(1, perCommand / rounds), true);

  if (handle != 0) DriverDone(itDq2847, handle);
  if (peerFd >= 0) close(peerFd);
  if (simFd >= 0) close(simFd);
  if (!ok) return false;
  for (size_t i = 0; i < kCommandCount; ++i) {
    UdpResult r;
    r.replyBytes = dqbus::kUdpHeaderSize + dqbus::kReplyMinSize + kCommands[i].dataBytes;
    r.failed = failed[i];
    r.stack = Summarise(stack[i]);
    r.library = Summarise(library[i]);
    r.sim = Summarise(raw[i]);
    r.echo = Summarise(echo[i]);
    results.push_back(r);
  }
  return true;
}

void PrintUdp(const std::vector<UdpResult>& results) {
  std::printf("\nUDP loopback, 19-byte request datagram; medians and p99 in microseconds\n");
  std::printf("%-18s %5s %6s | %-26s %8s | %-12s %6s %-7s | %-15s | %-15s\n", "command", "reply", "n",
              "full stack: median p99", "exch/s", "echo: median", "ratio", "<= 1.5x", "library+min.conv",
              "raw+simulator");
  for (size_t i = 0; i < results.size(); ++i) {
    const UdpResult& r = results[i];
    if (r.failed) {
      std::printf("%-18s FAILED\n", kCommands[i].name);
      continue;
    }
    std::printf("%-18s %5zu %6zu | %12.1f %13.1f %8.0f | %12.1f %6.2f %-7s | %15.1f | %15.1f\n", kCommands[i].name,
                r.replyBytes, r.stack.n, r.stack.medianUs, r.stack.p99Us, r.stack.perSecond, r.echo.medianUs,
                r.stack.medianUs / r.echo.medianUs, r.Met() ? "met" : "MISSED", r.library.medianUs, r.sim.medianUs);
  }
  std::printf("raw echo p99 / exch/s:");
  for (const UdpResult& r : results) std::printf("  %.1f / %.0f", r.echo.p99Us, r.echo.perSecond);
  std::printf("\n");
}

// ---- pseudo-terminal ----------------------------------------------------------------------------

struct SerialResult {
  uint32_t rate = 0;
  const Command* command = nullptr;
  size_t replyBytes = 0;
  Summary s;
  double wireUs = 0;
  bool failed = false;
  double TargetUs() const { return kWireTargetFactor * wireUs + kWireTargetSlackUs; }
  bool MedianMet() const { return !failed && s.medianUs <= TargetUs(); }
  bool P99Met() const { return !failed && s.p99Us <= TargetUs(); }
};

bool BenchSerial(const std::string& simulator, const std::string& mapPath, const CpuPlacement& cpus, uint32_t rate,
                 int baudCode, int perCommand, std::vector<SerialResult>& results) {
  Child sim;
  cpus.ForChildren();
  sim.Start({simulator, "--no-udp", "--wire-timing", "-b", std::to_string(baudCode), "-a",
             std::to_string(kModuleAddress), "--no-input-pattern", "--com", std::to_string(kComPort), "--port-map",
             mapPath});
  cpus.ForSelf();
  if (sim.ReadUntil("ready").empty()) {
    std::printf("pty %u Bd: the simulator did not start\n", rate);
    return false;
  }
  intptr_t params[kInitParamCount] = {kComPort};
  int32_t handle = 0;
  int32_t code = DriverInit(itComPort, handle, params);
  // The program's timing value for the rate.
  if (code == 0) code = DriverSetConfig(itComPort, handle, static_cast<int32_t>(rate), rate >= 38400 ? 5 : 13, 2);
  if (code != 0) {
    std::printf("pty %u Bd: TCOM847 Init/SetConfig gave %d\n", rate, code);
    if (handle != 0) DriverDone(itComPort, handle);
    return false;
  }
  for (const Command& c : kCommands) {
    std::vector<double> samples, scrap;
    int failure = 0;
    RunExchanges(itComPort, handle, c, 5, scrap, &failure);  // warm-up
    SerialResult r;
    r.rate = rate;
    r.command = &c;
    r.replyBytes = dqbus::kReplyMinSize + c.dataBytes;
    if (!RunExchanges(itComPort, handle, c, perCommand, samples, &failure)) {
      std::printf("pty %u Bd: %s failed with status %d\n", rate, c.name, failure);
      r.failed = true;
    }
    r.s = Summarise(samples);
    // Request and reply on the wire, 10 bits per byte, and the simulated
    // module's turnaround of 1 ms between them.
    r.wireUs = static_cast<double>((dqbus::kRequestSize + r.replyBytes) * 10) * 1e6 / rate + 1000.0;
    results.push_back(r);
  }
  DriverDone(itComPort, handle);
  return true;
}

void PrintSerial(const std::vector<SerialResult>& results) {
  std::printf("\nPseudo-terminal with wire timing; times in microseconds\n");
  std::printf("%-7s %-18s %5s %5s %11s %11s %10s %9s %10s %s\n", "Bd", "command", "reply", "n", "median", "p99",
              "wire", "med/wire", "target", "median, p99");
  for (const SerialResult& r : results) {
    if (r.failed) {
      std::printf("%-7u %-18s FAILED\n", r.rate, r.command->name);
      continue;
    }
    std::printf("%-7u %-18s %5zu %5zu %11.1f %11.1f %10.1f %9.3f %10.1f %s, %s\n", r.rate, r.command->name,
                r.replyBytes, r.s.n, r.s.medianUs, r.s.p99Us, r.wireUs, r.s.medianUs / r.wireUs, r.TargetUs(),
                r.MedianMet() ? "met" : "MISSED", r.P99Met() ? "met" : "MISSED");
  }
}

void PrintMarkdown(const std::vector<UdpResult>& udp, const std::vector<SerialResult>& serial) {
  if (!udp.empty()) {
    std::printf("\n| command | reply datagram | n | full stack median µs | p99 µs | exchanges/s | raw echo median µs "
                "| p99 µs | ratio | ≤ 1.5 × echo | library + minimal converter µs | raw client + simulator µs "
                "|\n|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (size_t i = 0; i < udp.size(); ++i) {
      const UdpResult& r = udp[i];
      if (r.failed) continue;
      std::printf("| %s | %zu B | %zu | %.1f | %.1f | %.0f | %.1f | %.1f | %.2f | %s | %.1f | %.1f |\n",
                  kCommands[i].name, r.replyBytes, r.stack.n, r.stack.medianUs, r.stack.p99Us, r.stack.perSecond,
                  r.echo.medianUs, r.echo.p99Us, r.stack.medianUs / r.echo.medianUs, r.Met() ? "met" : "missed",
                  r.library.medianUs, r.sim.medianUs);
    }
  }
  if (!serial.empty()) {
    std::printf("\n| rate | command | reply frame | n | median µs | p99 µs | exchanges/s | wire µs | median / wire "
                "| target µs | median | p99 |\n|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const SerialResult& r : serial) {
      if (r.failed) continue;
      std::printf("| %u Bd | %s | %zu B | %zu | %.1f | %.1f | %.1f | %.1f | %.3f | %.1f | %s | %s |\n", r.rate,
                  r.command->name, r.replyBytes, r.s.n, r.s.medianUs, r.s.p99Us, r.s.perSecond, r.wireUs,
                  r.s.medianUs / r.wireUs, r.TargetUs(), r.MedianMet() ? "met" : "missed",
                  r.P99Met() ? "met" : "missed");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], kPeerFlag) == 0) return RunPeerServer();
  bool quick = false, markdown = false, runUdp = true, runPty = true;
  const std::string self = dqbench::SelfPath();
  std::string simulator = self.substr(0, self.rfind('/')) + "/dq7184-sim";
  std::string cpuMode = "one";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else if (std::strcmp(argv[i], "--markdown") == 0) {
      markdown = true;
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc &&
               (std::strcmp(argv[i + 1], "udp") == 0 || std::strcmp(argv[i + 1], "pty") == 0)) {
      runUdp = std::strcmp(argv[++i], "udp") == 0;
      runPty = !runUdp;
    } else if (std::strcmp(argv[i], "--cpus") == 0 && i + 1 < argc) {
      cpuMode = argv[++i];
    } else if (std::strcmp(argv[i], "--simulator") == 0 && i + 1 < argc) {
      simulator = argv[++i];
    } else {
      std::fprintf(stderr, "usage: exchange_bench [--quick] [--markdown] [--only udp|pty] [--cpus one|two|free] "
                   "[--simulator PATH]\n");
      return 2;
    }
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  CpuPlacement cpus;
  std::string why;
  if (!cpus.Init(cpuMode, &why)) {
    std::fprintf(stderr, "exchange_bench: %s\n", why.c_str());
    return 2;
  }
  if (access(simulator.c_str(), X_OK) != 0) {
    std::printf("%s is not built\n", simulator.c_str());
    return 1;
  }
  const dqtest::TempDir folder;
  const std::string mapPath = folder.File("ports.conf");
  // The library reads this map at Init; the simulator is told it explicitly.
  setenv("DQ7184_PORTMAP", mapPath.c_str(), 1);

  const std::time_t now = std::time(nullptr);
  char date[64];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M %Z", std::localtime(&now));
  std::printf("Exchanges through the whole stack\nmachine: %s\ndate: %s\nplacement: %s\n", Machine().c_str(), date,
              cpus.Describe().c_str());

  std::vector<UdpResult> udp;
  std::vector<SerialResult> serial;
  bool ran = true;
  if (runUdp) {
    ran = BenchUdp(self, simulator, cpus, quick ? 1000 : 10000, udp) && ran;
    if (!udp.empty()) PrintUdp(udp);
  }
  if (runPty) {
    ran = BenchSerial(simulator, mapPath, cpus, 115200, 8, quick ? 200 : 1000, serial) && ran;
    ran = BenchSerial(simulator, mapPath, cpus, 9600, 4, quick ? 40 : 200, serial) && ran;
    if (!serial.empty()) PrintSerial(serial);
  }
  if (markdown) PrintMarkdown(udp, serial);


  bool met = true;
  for (const UdpResult& r : udp) met = met && r.Met();
  for (const SerialResult& r : serial) met = met && r.MedianMet() && r.P99Met();
  std::printf("\ntargets: %s\n", !ran ? "NOT measured in full" : met ? "all met" : "NOT all met");
  return !ran ? 1 : met ? 0 : 3;
}
