// The scan: finds every module on a line by probing addresses at rates,
// one identification request per probe with no retry and the shortest wait
// the protocol allows for a silent module (ScanPlan.h). It opens its own
// link from a connection record (interface and its parameters), sets the
// library's retries to 0 and, over the LAN converter, the UDP timeout to 0
// (the LAN minimum), whatever the record says; it closes the link at every
// end. Progress and findings go to callbacks; a stop flag (set from a
// signal handler) is looked at between probes, so a stop takes effect
// within the bound of the probe under way.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Dekl.h"
#include "commission/ScanLists.h"
#include "commission/ScanPlan.h"

namespace dqcommission {

struct ScanOptions {
  std::vector<uint8_t> addresses = AllAddresses();
  std::vector<uint8_t> baudCodes = AllBaudCodes();
  bool firstOnly = false;      // end at the first module found (once identified)
  bool rememberedFirst = true;  // probe the record's ModuleAddress and BaudRate first
  int identifyTries = 3;       // tries of each further identification exchange
};

struct FoundModule {
  uint8_t address = 0;
  uint8_t baudCode = 0;
  std::string typeName;  // Windows-1250, padding cut; empty when the module gave a status
  std::string version;
  // 0 when all three identification exchanges answered; otherwise the code
  // of the one that failed (a module status 41-99 when the module refused
  // the probe itself) and codeText its text.
  int32_t code = 0;
  std::string codeText;  // Windows-1250
};

// A probe that got bytes but no valid reply: two modules at one address, or
// a module at another rate.
struct GarbledProbe {
  uint8_t address = 0;
  uint8_t baudCode = 0;
  int32_t code = 0;      // the library's code (2-7)
  std::string codeText;  // Windows-1250
};

struct ScanProgress {
  size_t done = 0;   // probes done
  size_t total = 0;  // probes of the plan
  uint8_t baudCode = 0;  // the rate of the probe just done
  size_t found = 0;
  size_t garbled = 0;
  int64_t elapsedMicros = 0;
  int64_t leftMicros = 0;  // estimate: the floors left, scaled by the overrun so far
};

enum class ScanEnd : uint8_t {
  kComplete,    // every probe of the plan done
  kFirstFound,  // firstOnly and a module found
  kStopped,     // the stop flag was set
  kLinkFault,   // the port or socket failed during the scan
  kOpenFailed,  // the library could not be loaded, opened or configured
};

struct ScanResult {
  ScanEnd end = ScanEnd::kComplete;
  ScanLine line = ScanLine::kSerial;
  std::vector<FoundModule> modules;
  std::vector<GarbledProbe> garbled;
  size_t probesDone = 0;
  size_t probesTotal = 0;
  int64_t elapsedMicros = 0;  // from the first probe to the end
  int64_t floorMicros = 0;    // the sum of the floors of the probes done
  int64_t firstFoundMicros = -1;  // from the first probe to the first module identified
  int32_t linkCode = 0;       // kLinkFault, kOpenFailed: the library's code
  std::string linkText;       // and its text (Windows-1250)
};

struct ScanCallbacks {
  std::function<void(const ScanProgress&)> progress;  // after every probe
  std::function<void(const FoundModule&)> found;
  std::function<void(const GarbledProbe&)> garbled;
};

// The line kind of an interface type.
ScanLine LineOf(TInterfaceType type);

// Runs a scan over the interface of `link` (InterfaceType and its
// parameters; Initialized and DriverHandle are not looked at: the scan opens
// a link of its own). The link is closed again at every end.
ScanResult RunScan(const TConnectionConfig& link, const ScanOptions& options, const ScanCallbacks& callbacks,
                   const std::atomic<bool>& stop);

}  // namespace dqcommission
