// Run from inside an unpacked release bundle: loads each of the five driver
// libraries through the link layer, as W_DQ7184 does, so they come from the
// folder of this executable; then identifies the module of a simulator over
// the LAN converter library. Prints one line per library and the module's
// identification; exits non-zero when a library does not load or bind, or
// the identification fails.
//
//   bundle_probe <udp-port> [module-address]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Txxx847.h"

namespace {

bool LoadFailure(TInterfaceType type, int32_t result) {
  return result == kDriverLoadFailed + type || result == kDriverBadLibrary + type || result == kDriverNotBound;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <udp-port> [module-address]\n", argv[0]);
    return 2;
  }
  const int udpPort = std::atoi(argv[1]);
  const int address = argc > 2 ? std::atoi(argv[2]) : 0;
  int failures = 0;

  // The other four interfaces have no hardware here: their Init may refuse,
  // but only with the library's own codes, never with a loading code.
  for (TInterfaceType type = itComPort; type < itDq2847; ++type) {
    intptr_t params[kInitParamCount] = {};
    int32_t handle = 0;
    const int32_t result = DriverInit(type, handle, params);
    std::printf("%s init %d\n", DriverLibraryName(type), static_cast<int>(result));
    if (LoadFailure(type, result)) ++failures;
    if (result == kDriverOk) DriverDone(type, handle);
  }

  const std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(ip.c_str()), udpPort, 500};
  int32_t handle = 0;
  const int32_t result = DriverInit(itDq2847, handle, params);
  std::printf("%s init %d\n", DriverLibraryName(itDq2847), static_cast<int>(result));
  if (result != kDriverOk) return 1;
  DriverSetConfig(itDq2847, handle, 9600, BaudTiming(4), 2);

  std::string ident;
  uint8_t b3 = 0;
  for (uint8_t subcode = 0; subcode < 3; ++subcode) {
    uint8_t b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0;
    TExchangeReply reply{};
    ModuleExchange(itDq2847, handle, static_cast<uint8_t>(address), 200, subcode, b3, b4, b5, b6, b7, status, reply);
    if (status != 0) {
      std::printf("identification %u status %u %s\n", subcode, status, DriverErrorString(itDq2847, status).c_str());
      ++failures;
      break;
    }
    if (subcode == 2) ident += " v.";
    for (uint8_t c : {b4, b5, b6, b7}) {
      if (c != 0) ident += static_cast<char>(c);
    }
  }
  DriverDone(itDq2847, handle);
  std::printf("module %s\n", ident.c_str());
  return failures == 0 ? 0 : 1;
}
