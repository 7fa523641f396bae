// Client side of the exchange-cost measurement, run by hand under valgrind
// by tools/exchange-cost.sh:
//   exchange_cost --port P --count N [--command inputs|counters|register]
//
// Opens a link through TDQ2847.DLL (9600 Bd, the simulator's default) to a
// converter (dq7184-sim) on 127.0.0.1:P, makes N exchanges of one command
// back to back and closes the link. Its cost per exchange is the difference of two runs with different
// N divided by the difference of N, so that loading and set-up cancel out.
// Every reply is checked, so a run that failed is never counted as cheap.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Dekl.h"
#include "Txxx847.h"

namespace {

struct Command {
  const char* name;
  uint8_t command, subcode, b4, b5;
};

constexpr Command kCommands[] = {
    {"inputs", 0, 64, 0, 0},
    {"counters", 202, 0, 0, 0},
    {"register", 102, 0, 0x3F, 0x3F},
};

int Usage() {
  std::fprintf(stderr, "usage: exchange_cost --port P --count N [--command inputs|counters|register]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long port = 0;
  long count = 0;
  const Command* command = &kCommands[0];
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--port") {
      port = std::strtol(argv[i + 1], nullptr, 10);
    } else if (flag == "--count") {
      count = std::strtol(argv[i + 1], nullptr, 10);
    } else if (flag == "--command") {
      command = nullptr;
      for (const auto& c : kCommands) {
        if (std::strcmp(c.name, argv[i + 1]) == 0) command = &c;
      }
      if (command == nullptr) return Usage();
    } else {
      return Usage();
    }
  }
  if (port < 1 || port > 65535 || count < 0 || argc % 2 == 0) return Usage();

  static const char kIp[] = "127.0.0.1";
  intptr_t params[kInitParamCount] = {};
  params[0] = reinterpret_cast<intptr_t>(kIp);
  params[1] = port;
  params[2] = 200;
  int32_t handle = 0;
  int32_t code = DriverInit(itDq2847, handle, params);
  if (code == 0) code = DriverSetConfig(itDq2847, handle, 9600, 13, 2);
  if (code != 0) {
    std::fprintf(stderr, "exchange_cost: link not opened (code %d)\n", code);
    return 1;
  }
  TExchangeReply reply{};
  long failed = 0;
  for (long i = 0; i < count; ++i) {
    uint8_t b3 = 0, b4 = command->b4, b5 = command->b5, b6 = 0, b7 = 0, status = 0xFF;
    ModuleExchange(itDq2847, handle, 0, command->command, command->subcode, b3, b4, b5, b6, b7, status, reply);
    if (status != 0) ++failed;
  }
  DriverDone(itDq2847, handle);
  if (failed != 0) {
    std::fprintf(stderr, "exchange_cost: %ld of %ld exchanges failed\n", failed, count);
    return 1;
  }
  return 0;
}
