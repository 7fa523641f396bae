// exchange_bounds: how long one Send takes when the module stays silent,
// answers with a bad CRC (always, or once), answers too late or twice, over
// the pseudo-terminal (TCOM847) and UDP (TDQ2847, UDP timeout 200 ms), at
// 9600 and 115200 Bd, beside the bounds of docs/protocol.md section 5. The
// simulator runs in this process, on loopback only.
//
//   exchange_bounds [--count N]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "InProcessSim.h"
#include "LinkSettings.h"
#include "sim/simulator/Simulator.h"
#include "Txxx847.h"

namespace {

constexpr uint8_t kAddress = 3;
constexpr int kUdpTimeoutMs = 200;

struct Row {
  const char* name;
  std::vector<dqsim::Fault> faults;
  int lateMs;  // replies may still come this long after the fault ends
};

const std::vector<Row> kRows = {
    {"on time", {}, 0},
    {"silent (silence always)", {{dqsim::FaultKind::kSilence, -1, -1}}, 0},
    {"bad CRC every reply (corrupt-crc always)", {{dqsim::FaultKind::kCorruptCrc, -1, -1}}, 0},
    {"bad CRC once, then good (corrupt-crc next 1)", {{dqsim::FaultKind::kCorruptCrc, -1, 1}}, 0},
    {"400 ms late (delay 400 always)", {{dqsim::FaultKind::kDelay, 400, -1}}, 400},
    {"every reply twice (duplicate always)", {{dqsim::FaultKind::kDuplicate, -1, -1}}, 0},
};

int TimingOf(int rate) { return rate == 9600 ? 13 : 5; }

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

// The in-process simulator of one baud rate, reachable as COM9 and on UDP.
bool StartSim(dqtest::InProcessSim& rig, int baudCode) {
  dqsim::SimOptions options;
  options.addresses = {kAddress};
  options.baudCode = static_cast<uint8_t>(baudCode);
  options.comPort = 9;
  options.udp = true;
  options.udpPort = 0;
  options.inputPattern = false;
  const std::string error = rig.Start(options);
  if (!error.empty()) std::fprintf(stderr, "simulator: %s\n", error.c_str());
  return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
  int count = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      count = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: exchange_bounds [--count N]\n");
      return 2;
    }
  }
  const std::string ip = "127.0.0.1";
  std::printf("| link | Bd | module | code | Send ms median | max | bound ms |\n|---|---|---|---|---|---|---|\n");
  for (int baudCode : {4, 8}) {
    const int rate = baudCode == 4 ? 9600 : 115200;
    const dqbus::LinkSettings settings = dqbus::Clamped(static_cast<uint32_t>(rate), TimingOf(rate), 2);
    for (TInterfaceType type : {itComPort, itDq2847}) {
      dqtest::InProcessSim rig;
      if (!StartSim(rig, baudCode)) return 1;
      intptr_t params[kInitParamCount] = {9};
      if (type == itDq2847) {
        params[0] = reinterpret_cast<intptr_t>(ip.c_str());
        params[1] = rig.Sim().UdpPort();
        params[2] = kUdpTimeoutMs;
      }
      int32_t handle = 0;
      if (DriverInit(type, handle, params) != 0 || DriverSetConfig(type, handle, rate, TimingOf(rate), 2) != 0) {
        std::fprintf(stderr, "cannot open the link\n");
        return 1;
      }
      const double silentBound =
          type == itDq2847 ? static_cast<double>(dqbus::LanExchangeBoundMicros(settings, kUdpTimeoutMs)) / 1000
                           : 3.0 * static_cast<double>(dqbus::SerialFirstByteWindowMicros(settings)) / 1000;
      const double sendBound =
          type == itDq2847
              ? silentBound
              : 3.0 * static_cast<double>(dqbus::SerialFirstByteWindowMicros(settings) +
                                          dqbus::SerialRestWindowMicros(settings, dqbus::kReplyMaxSize)) /
                    1000;
      for (const Row& row : kRows) {
        std::vector<double> ms;
        int code = 0;
        for (int i = 0; i < count; ++i) {
          for (const auto& fault : row.faults) rig.Sim().AddFault(fault);
          uint8_t b3 = 0, b4 = 0x3F, b5 = 0x3F, b6 = 0, b7 = 0, status = 0;
          TExchangeReply reply{};
          const auto t0 = std::chrono::steady_clock::now();
          ModuleExchange(type, handle, kAddress, 102, 0, b3, b4, b5, b6, b7, status, reply);
          ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
          code = status;
          rig.Sim().ClearFaults();
          if (row.lateMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(row.lateMs + 50));
        }
        const bool silent = row.name[0] == 's';
        std::printf("| %s | %d | %s | %d | %.1f | %.1f | %.1f |\n", type == itDq2847 ? "UDP" : "COM (pty)", rate,
                    row.name, code, Percentile(ms, 0.5), Percentile(ms, 1.0), silent ? silentBound : sendBound);
        std::fflush(stdout);
      }
      DriverDone(type, handle);
    }
  }
  return 0;
}
