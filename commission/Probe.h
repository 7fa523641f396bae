// One probe of a scan on an open link: a single identification request
// (command 200, sub-code 0, the first half of the type name) and what its
// outcome says about the bus; and, for a module that answered, the rest of
// its identification.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Dekl.h"

namespace dqcommission {

enum class ProbeKind : uint8_t {
  kSilent,     // no reply: nobody at this address and rate
  kModule,     // a valid reply, with or without a module status
  kGarbled,    // bytes but no valid reply: CRC, format, length, address or command wrong
  kLinkFault,  // the port or the socket failed: the scan cannot go on
};

struct ProbeOutcome {
  ProbeKind kind = ProbeKind::kSilent;
  int32_t code = 0;         // the library's code of the request (0 = identified)
  std::string firstHalf;    // four characters of the type name when code is 0
};

// What a library code of the probe says (docs/protocol.md section 8).
ProbeKind ClassifyProbeCode(int32_t code);

// One identification request at `address` on the link, as it is set up.
ProbeOutcome ProbeAddress(TInterfaceType type, int32_t handle, uint8_t address);

struct ModuleIdentity {
  std::string typeName;   // eight characters, trailing blanks and zero bytes cut
  std::string version;    // four characters, likewise
  int32_t code = 0;       // 0, or the code of the exchange that failed
};

// The second half of the type name and the version of a module whose probe
// answered with `firstHalf`; each exchange is tried up to `tries` times (the
// scan's link makes no retries of its own), no further try once `stop` is
// set.
ModuleIdentity CompleteIdentity(TInterfaceType type, int32_t handle, uint8_t address, const std::string& firstHalf,
                                int tries, const std::atomic<bool>& stop);

}  // namespace dqcommission
