// Watch benchmark, run by hand:
//   bench_watch [seconds]     per run (default 20)
// Starts dq7184-sim as its own process with wire timing at 9600 Bd (a
// module at address 3) and runs the watch engine against it, logging to a
// CSV file in a scratch folder, over UDP (TDQ2847.DLL) and over the
// simulator's pseudo-terminal (TCOM847.DLL, COM247 in a temporary port
// map). For each line:
//   - counters back to back (the interval of 100 ms is shorter than the
//     wire): ticks per second against the wire floor's (eight exchanges of
//     request and 16-data-byte reply at 10 bits a byte, plus the simulated
//     module's 1 ms turnaround each); target within 2 %;
//   - inputs, status register, and all three at their default intervals:
//     CPU time of this process (user + system) in % of one core; target
//     under 1 %.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <map>
#include <thread>
#include <vector>

#include "LoopbackUdp.h"
#include "OpenLink.h"
#include "TempDir.h"
#include "Watch.h"
#include "WireFloor.h"
#include "common/BenchUtil.h"

namespace {

constexpr uint8_t kSimAddress = 3;
constexpr uint8_t kBaudCode = 4;  // 9600 Bd
constexpr uint32_t kRate = 9600;
constexpr uint8_t kComPort = 247;
constexpr double kTurnaroundMs = 1.0;  // the simulator's with wire timing
constexpr int kCounterGroups = 8, kCounterGroupBytes = 16;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool Connect(TConnectionConfig& config, bool udp, int udpPort) {
  SetConnectionDefaults(&config);
  config.InterfaceType = udp ? itDq2847 : itComPort;
  config.IpAddress = "127.0.0.1";
  config.UdpPort = static_cast<uint32_t>(udpPort);
  config.UdpTimeout = 200;
  config.ComPort = kComPort;
  PackInitParams(config);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (std::chrono::steady_clock::now() < deadline) {
    if (OpenLink(config, kSimAddress, kBaudCode).Opened()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// From the log: the median time from one sample's start to the next (ms),
// the mean of it from the first sample to the last, and the errors of the
// failed samples with their counts.
double MedianPeriod(const std::string& csv, double& meanPeriod, std::map<std::string, int>& errors) {
  std::istringstream in(dqtest::ReadFile(csv));
  std::string line;
  std::getline(in, line);  // header
  std::vector<double> periods;
  long long first = -1, last = -1;
  while (std::getline(in, line)) {
    const size_t a = line.find(','), b = line.find(',', a + 1);
    const long long ms = std::atoll(line.substr(a + 1, b - a - 1).c_str());
    if (last >= 0) periods.push_back(static_cast<double>(ms - last));
    if (first < 0) first = ms;
    last = ms;
    const size_t errorAt = line.rfind(',', line.rfind(',') - 1);
    const std::string error = line.substr(errorAt + 1);
    if (error != ",") ++errors[error];
  }
  meanPeriod = periods.empty() ? 0.0 : static_cast<double>(last - first) / static_cast<double>(periods.size());
  return dqbench::Median(periods);
}

struct Run {
  const char* name;
  dqcommission::WatchSources sources;
};

void Measure(const Run& run, const TConnectionConfig& config, const dqtest::TempDir& scratch, double seconds) {
  dqcommission::WatchOptions options;
  options.sources = run.sources;
  options.csvPath = scratch.File(std::string("watch-") + std::to_string(run.sources.inputs) +
                                 std::to_string(run.sources.counters) + std::to_string(run.sources.status) + ".csv");
  options.durationMs = static_cast<int64_t>(seconds * 1000);
  std::ostringstream out, notes;
  std::atomic<bool> stop{false};
  const double cpu0 = CpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const dqcommission::WatchResult result = dqcommission::RunWatch(
      {config.InterfaceType, config.DriverHandle, kSimAddress}, options, out, notes, stop);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = CpuSeconds() - cpu0;
  const double ticks = static_cast<double>(result.samples) / wall;
  std::printf("  %-34s interval %3d ms: %6lld samples (%lld failed) in %.1f s, %.3f ticks/s, CPU %.2f %% of one core%s\n",
              run.name, dqcommission::WatchInterval(options), static_cast<long long>(result.samples),
              static_cast<long long>(result.failedSamples), wall, ticks, 100.0 * cpu / wall,
              result.fileError ? (" FILE ERROR " + result.message).c_str() : "");
  std::map<std::string, int> errors;
  double meanPeriod = 0;
  const double period = MedianPeriod(options.csvPath, meanPeriod, errors);
  for (const auto& error : errors) std::printf("    failed: %s (%d)\n", error.first.c_str(), error.second);
  if (run.sources.counters && !run.sources.inputs && !run.sources.status) {
    const double floorMs = kCounterGroups * (dqcommission::ExchangeFloorMs(kRate, kCounterGroupBytes) + kTurnaroundMs);
    const double floorTicks = 1000.0 / floorMs;
    std::printf("    wire floor %.1f ms a tick = %.3f ticks/s; from the log's first to last sample %.3f ticks/s = %.4f of "
                "the floor's; median period %.0f ms (the log's ms resolution) = %.4f\n",
                floorMs, floorTicks, meanPeriod > 0 ? 1000.0 / meanPeriod : 0.0,
                meanPeriod > 0 ? 1000.0 / meanPeriod / floorTicks : 0.0, period,
                period > 0 ? 1000.0 / period / floorTicks : 0.0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 && std::atof(argv[1]) > 0 ? std::atof(argv[1]) : 20.0;
  const std::string simulator = dqbench::SelfDir() + "/dq7184-sim";
  if (access(simulator.c_str(), X_OK) != 0) {
    std::printf("skipped: %s is not built\n", simulator.c_str());
    return 1;
  }
  const Run runs[] = {
      {"counters (back to back)", {false, true, false}},
      {"inputs", {true, false, false}},
      {"status register", {false, false, true}},
      {"inputs, counters, status register", {true, true, true}},
  };
  int result = 0;
  for (const bool udp : {true, false}) {
    const dqtest::TempDir scratch;
    const std::string mapPath = scratch.File("ports.conf");
    std::vector<std::string> args = {simulator, "--address", std::to_string(kSimAddress), "--baud-code",
                                     std::to_string(kBaudCode), "--wire-timing"};
    const int udpPort = udp ? dqtest::FreeUdpPort() : 0;
    if (udp) {
      args.insert(args.end(), {"--no-pty", "--udp-port", std::to_string(udpPort)});
    } else {
      setenv("DQ7184_PORTMAP", mapPath.c_str(), 1);
      args.insert(args.end(), {"--no-udp", "--com", std::to_string(kComPort), "--port-map", mapPath});
    }
    const pid_t sim = dqbench::Spawn(args);
    if (sim < 0) {
      std::printf("skipped: the simulator did not start\n");
      return 1;
    }
    TConnectionConfig config{};
    if (!Connect(config, udp, udpPort)) {
      std::printf("failed: the simulator does not answer (%s)\n", udp ? "UDP" : "COM247");
      result = 1;
    } else {
      std::printf("%s at %u Bd, wire timing, CSV log on, %.0f s per run\n",
                  udp ? "UDP (TDQ2847.DLL)" : "pseudo-terminal (TCOM847.DLL, COM247)", kRate, seconds);
      for (const Run& run : runs) Measure(run, config, scratch, seconds);
      CloseLink(config);
    }
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
  }
  return result;
}
