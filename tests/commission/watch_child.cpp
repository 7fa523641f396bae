// A watch in a process of its own, for the kill test: inputs, counters and
// status register into a CSV log, one line per sample on standard output,
// samples back to back. Stands in for the companion program's watch.
//   commission_watch_child udp|pty PORT ADDRESS CSV [COUNT]
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>

#include "OpenLink.h"
#include "SimLink.h"
#include "Watch.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: commission_watch_child udp|pty PORT ADDRESS CSV [COUNT]\n";
    return 2;
  }
  const dqtest::Via via = std::string(argv[1]) == "udp" ? dqtest::Via::kUdp : dqtest::Via::kPty;
  const auto address = static_cast<uint8_t>(std::atoi(argv[3]));
  TConnectionConfig config{};
  if (!dqtest::OpenSimLink(config, via, std::atoi(argv[2]), address)) {
    std::cerr << "the link does not open\n";
    return 3;
  }
  dqcommission::WatchOptions options;
  options.sources = {true, true, true};
  options.intervalMs = 1;
  options.csvPath = argv[4];
  options.count = argc > 5 ? std::atoll(argv[5]) : 0;
  std::atomic<bool> stop{false};
  const dqcommission::WatchResult result =
      dqcommission::RunWatch({config.InterfaceType, config.DriverHandle, address}, options, std::cout, std::cerr, stop);
  CloseLink(config);
  if (result.fileError) std::cerr << result.message << '\n';
  return result.fileError ? 2 : 0;
}
