// The scene of an end-to-end fault test: a simulated module in this process,
// reachable over UDP on 127.0.0.1 and over a pseudo-terminal that a port map
// of the test's own offers as COM9, and the test link parameters.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Dekl.h"
#include "core/NonCopyable.h"
#include "InProcessSim.h"
#include "sim/simulator/Simulator.h"

namespace faults {

enum class LinkKind { kUdp, kCom };
const char* LinkName(LinkKind link);

// Test link parameters: kept small, so that faulty exchanges end quickly.
constexpr uint8_t kModuleAddress = 3;
constexpr int kBaudCode = 8;  // 115200 Bd
constexpr int kBaudRate = 115200;
constexpr int kTimingMs = 5;  // BaudTiming(8)
constexpr int kRetries = 2;   // what the connection window configures
constexpr int kUdpTimeoutMs = 120;  // bounds the whole exchange: three attempts of 40 ms
constexpr int kComPort = 9;

// Where the connection window points the link.
struct LinkTarget {
  LinkKind kind = LinkKind::kUdp;
  uint16_t udpPort = 0;
};

// Send bound of one exchange on the link, docs/protocol.md section 5.
double SendBoundMs(LinkKind link);

class FaultRig : dqcore::NonCopyable {
 public:

  // Starts the simulator; false with the reason in error.
  bool Start(std::string* error);
  dqsim::Simulator& Sim() { return sim_.Sim(); }
  uint16_t UdpPort() const { return udpPort_; }
  const std::string& Folder() const { return sim_.Folder().Path(); }
  // The port map in which the COM library finds COM9.
  const std::string& PortMap() const { return sim_.PortMap(); }

  // Points COM9 at a device path that does not exist. After the simulator's
  // pseudo-terminal closed, the port map still names its /dev/pts path,
  // which another program may get next; the tests make the gone device
  // certain instead.
  void NameGoneDevice() const;
  // WaitQuiet on this simulator.
  void WaitQuiet();
  LinkTarget Target(LinkKind link) const { return {link, udpPort_}; }

 private:
  dqtest::InProcessSim sim_;  // its folder holds the port map in which the COM library finds COM9
  uint16_t udpPort_ = 0;
};

// Points COM9 of the port map at a path in folder that names no device.
void NameGoneDevice(const std::string& portMap, const std::string& folder);

// Waits (bounded) until a simulator has answered everything it heard and
// sent every reply it planned, so that no late reply of a faulty exchange
// can meet the next one.
void WaitQuiet(const std::function<dqsim::SimStats()>& stats);

// Closes a link left open by a test (and a library left bound by a failed
// initialisation).
void CloseLink(TConnectionConfig& config);

}  // namespace faults
