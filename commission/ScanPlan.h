// The order in which a scan probes addresses and rates, and the least time
// each probe takes when nobody answers (its floor).
//
// Order: the link the settings file remembers, then the factory setting
// (address 0 at 9600 Bd), then every rate from 9600 Bd outward (19200,
// 4800, 38400, 2400, ...), each with the addresses in the order given; a
// pair already probed is not probed again. A module at a usual setting is
// thus found within the first probes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace dqcommission {

// The factory setting of a module whose maker states none: address 0 at
// 9600 Bd (what dq7184-sim starts with).
constexpr uint8_t kFactoryAddress = 0;
constexpr uint8_t kFactoryBaudCode = 4;

// How the library reaches the bus: a serial line (COM port, ISA and PCI
// cards, USB converter) or the LAN converter over UDP.
enum class ScanLine : uint8_t { kSerial, kLan };

struct ScanSetting {
  uint8_t address = 0;
  uint8_t baudCode = 0;
};

struct ScanProbe {
  uint8_t address = 0;
  uint8_t baudCode = 0;
};

// The shortest wait for a silent module that the protocol allows one
// request with no retry, in microseconds: on a serial line the first-byte
// window T_first = wire(13) + timing + 25 ms (docs/protocol.md 5.2); over
// the LAN converter the LAN minimum wire(13 + 73) + timing + 20 ms (5.4),
// which the library keeps to when the UDP timeout is 0.
int64_t ProbeFloorMicros(ScanLine line, uint8_t baudCode);

// The given rates ordered from 9600 Bd outward, the faster neighbour first.
std::vector<uint8_t> RatesOutward(const std::vector<uint8_t>& baudCodes);

// Every probe of a scan in order (see above). `remembered` leads when it is
// within the address and rate lists, then the factory setting when it is.
std::vector<ScanProbe> PlanScan(const std::vector<uint8_t>& addresses, const std::vector<uint8_t>& baudCodes,
                                std::optional<ScanSetting> remembered);

// The sum of the floors of probes [from, end) of a plan.
int64_t PlanFloorMicros(const std::vector<ScanProbe>& plan, ScanLine line, size_t from = 0);

}  // namespace dqcommission
