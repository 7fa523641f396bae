// dq7184-sim: simulator of DQ-7184/9 modules for W_DQ7184 and its driver
// libraries; see --help and docs/simulator.md.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/prctl.h>
#include <vector>

#include "sim/simulator/CommandLine.h"
#include "sim/control/CtlClient.h"
#include "sim/simulator/Simulator.h"
#include "core/BaudRates.h"
#include "core/Signals.h"

namespace {

dqsim::Simulator* g_simulator = nullptr;

void OnSignal(int) {
  if (g_simulator != nullptr) g_simulator->RequestStop();
}

void InstallSignals() {
  dqcore::CatchSignals(OnSignal, {SIGINT, SIGTERM});
  dqcore::CatchSignals(SIG_IGN, {SIGPIPE});
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  dqsim::CommandLine cl = dqsim::ParseCommandLine(args);
  switch (cl.mode) {
    case dqsim::CommandLine::kHelp:
      std::cout << dqsim::HelpText();
      return 0;
    case dqsim::CommandLine::kError:
      std::cerr << "dq7184-sim: " << cl.error << "\n";
      return 2;
    case dqsim::CommandLine::kCtl:
      signal(SIGPIPE, SIG_IGN);
      return dqsim::RunCtl(cl.controlPath, cl.command, std::cin, std::cout, std::cerr);
    case dqsim::CommandLine::kRun:
      break;
  }

  // Replies are timed to the microsecond; the default 50 µs timer slack
  // would add itself to every one.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  dqsim::Simulator simulator(cl.options);
  g_simulator = &simulator;
  InstallSignals();
  std::string error;
  if (!simulator.Open(&error)) {
    std::cerr << "dq7184-sim: " << error << "\n";
    return 1;
  }
  for (size_t i = 0; i < simulator.ModuleCount(); ++i) {
    dqsim::ModuleSnapshot s = simulator.Snapshot(i);
    std::printf("module %u baud-code %u (%u Bd)\n", s.address, s.baudCode, dqcore::kBaudRates[s.baudCode]);
  }
  if (!simulator.PtyPath().empty()) std::printf("pty %s\n", simulator.PtyPath().c_str());
  if (cl.options.comPort > 0) {
    std::printf("com %d %s\n", cl.options.comPort, simulator.PortMapPath().c_str());
  }
  if (!cl.options.serialDevice.empty()) std::printf("serial %s\n", cl.options.serialDevice.c_str());
  if (simulator.UdpPort() != 0) std::printf("udp %s:%u\n", cl.options.udpBind.c_str(), simulator.UdpPort());
  if (!simulator.ControlPath().empty()) std::printf("control %s\n", simulator.ControlPath().c_str());
  std::printf("ready\n");
  std::fflush(stdout);

  simulator.Run();
  simulator.Close();
  g_simulator = nullptr;
  return 0;
}
