// scan_bench: the scan of the companion program against the simulator in
// this process (wire timing on), over the pseudo-terminal (TCOM847, as
// COM9) and UDP on 127.0.0.1 (TDQ2847):
//   - the whole sweep (every address at every rate, or --addresses) with
//     modules at known addresses and rates: time against the sum of the
//     probes' floors, per rate, and whether every module was found;
//   - the time to the first module (--first) for a module at the factory
//     setting (address 0, 9600 Bd) and for one at a random setting.
// The settings file's module is taken to be at address 250, 19200 Bd,
// where no module is, so each figure includes that one futile probe.
//
//   scan_bench [--line com|lan|both] [--addresses LIST] [--seed N] [--no-sweep]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "InProcessSim.h"
#include "commission/Scan.h"
#include "core/BaudRates.h"
#include "core/ModuleCommands.h"

namespace {

constexpr int kComPort = 9;

struct Placed {
  uint8_t address;
  uint8_t baudCode;
};

const std::vector<Placed> kSweepModules = {{0, 4}, {37, 5}, {130, 8}, {201, 1}, {255, 0}};

struct Rig {
  dqtest::InProcessSim sim;
  TConnectionConfig link{};

  bool Start(const std::vector<Placed>& modules, TInterfaceType type) {
    dqsim::SimOptions options;
    options.addresses.clear();
    for (const Placed& m : modules) options.addresses.push_back(m.address);
    options.comPort = kComPort;
    options.udpPort = 0;
    options.inputPattern = false;
    options.wireTiming = true;
    std::string error = sim.Start(options);
    if (!error.empty()) {
      std::fprintf(stderr, "simulator: %s\n", error.c_str());
      return false;
    }
    for (size_t i = 0; i < modules.size(); ++i) {
      sim->WriteRegister(i, dqcmd::kRegBaudCode, modules[i].baudCode);
      sim->Restart(i);
    }
    SetConnectionDefaults(&link);
    link.InterfaceType = type;
    link.ComPort = kComPort;
    link.IpAddress = "127.0.0.1";
    link.UdpPort = sim->UdpPort();
    link.UdpTimeout = 200;
    link.ModuleAddress = 250;
    link.BaudRate = 19200;
    return true;
  }
};

double Seconds(int64_t micros) { return static_cast<double>(micros) / 1e6; }
const char* LineName(TInterfaceType type) { return type == itDq2847 ? "UDP" : "COM (pty)"; }

bool Sweep(TInterfaceType type, const std::vector<uint8_t>& addresses) {
  Rig rig;
  if (!rig.Start(kSweepModules, type)) return false;
  dqcommission::ScanOptions options;
  options.addresses = addresses;
  struct PerRate {
    size_t probes = 0;
    int64_t micros = 0;
  };
  std::map<int, PerRate> perRate;
  int64_t lastElapsed = 0;
  dqcommission::ScanCallbacks callbacks;
  // The time of a probe: from the progress before it (rate changes and
  // identification of found modules included).
  callbacks.progress = [&](const dqcommission::ScanProgress& p) {
    PerRate& r = perRate[p.baudCode];
    ++r.probes;
    r.micros += p.elapsedMicros - lastElapsed;
    lastElapsed = p.elapsedMicros;
  };
  std::atomic<bool> stop{false};
  dqcommission::ScanResult result = dqcommission::RunScan(rig.link, options, callbacks, stop);
  size_t expected = 0;
  for (const Placed& m : kSweepModules) {
    for (uint8_t a : addresses) expected += a == m.address;
  }
  std::printf("\nsweep, %s: %zu probes in %.1f s, floor %.1f s, ratio %.3f, %+.2f ms a probe; "
              "%zu of %zu modules found, %zu garbled, end %d\n",
              LineName(type), result.probesDone, Seconds(result.elapsedMicros), Seconds(result.floorMicros),
              static_cast<double>(result.elapsedMicros) / static_cast<double>(result.floorMicros),
              static_cast<double>(result.elapsedMicros - result.floorMicros) / 1000.0 /
                  static_cast<double>(result.probesDone),
              result.modules.size(), expected, result.garbled.size(), static_cast<int>(result.end));
  std::printf("| Bd | probes | mean ms | floor ms | overrun ms |\n|---|---|---|---|---|\n");
  for (const auto& [code, r] : perRate) {
    const double mean = static_cast<double>(r.micros) / 1000.0 / static_cast<double>(r.probes);
    const double floor =
        static_cast<double>(dqcommission::ProbeFloorMicros(dqcommission::LineOf(type), static_cast<uint8_t>(code))) /
        1000.0;
    std::printf("| %u | %zu | %.2f | %.2f | %+.2f |\n", dqcore::kBaudRates[code], r.probes, mean, floor, mean - floor);
  }
  std::fflush(stdout);
  return true;
}

bool FirstModule(TInterfaceType type, Placed module, const char* what) {
  Rig rig;
  if (!rig.Start({module}, type)) return false;
  dqcommission::ScanOptions options;
  options.firstOnly = true;
  std::atomic<bool> stop{false};
  dqcommission::ScanResult result = dqcommission::RunScan(rig.link, options, {}, stop);
  const bool right = !result.modules.empty() && result.modules[0].address == module.address &&
                     result.modules[0].baudCode == module.baudCode;
  std::printf("first module, %s, %s (address %u, %u Bd): %s after %zu probes, %.2f s (floor of the probes before "
              "it %.2f s)\n",
              LineName(type), what, module.address, dqcore::kBaudRates[module.baudCode], right ? "found" : "NOT FOUND",
              result.probesDone, Seconds(result.firstFoundMicros),
              Seconds(result.floorMicros -
                      dqcommission::ProbeFloorMicros(dqcommission::LineOf(type), module.baudCode)));
  std::fflush(stdout);
  return right;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<TInterfaceType> lines = {itComPort, itDq2847};
  std::vector<uint8_t> addresses = dqcommission::AllAddresses();
  unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  bool sweep = true;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string error;
    if (arg == "--line" && i + 1 < argc) {
      std::string v = argv[++i];
      lines = v == "com" ? std::vector<TInterfaceType>{itComPort}
              : v == "lan" ? std::vector<TInterfaceType>{itDq2847}
                           : lines;
    } else if (arg == "--addresses" && i + 1 < argc) {
      if (!dqcommission::ParseAddressList(argv[++i], addresses, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
      }
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--no-sweep") {
      sweep = false;
    } else {
      std::fprintf(stderr, "usage: scan_bench [--line com|lan|both] [--addresses LIST] [--seed N] [--no-sweep]\n");
      return 2;
    }
  }
  std::mt19937 random(seed);
  const Placed randomModule{static_cast<uint8_t>(random() % 256), static_cast<uint8_t>(random() % 9)};
  std::printf("seed %u\n", seed);
  bool ok = true;
  for (TInterfaceType type : lines) {
    ok = FirstModule(type, {0, 4}, "factory setting") && ok;
    ok = FirstModule(type, randomModule, "random setting") && ok;
    if (sweep) ok = Sweep(type, addresses) && ok;
  }
  return ok ? 0 : 1;
}
