#include "ChildSim.h"

#include <stdlib.h>
#include <unistd.h>

#include <sstream>

#include "sim/control/CtlClient.h"
#include "FaultRig.h"

namespace faults {

ChildSim::ChildSim(std::string binary)
    : binary_(std::move(binary)), control_(folder_.File("sim.sock")), portMap_(folder_.File("ports.conf")) {
  setenv("DQ7184_PORTMAP", portMap_.c_str(), 1);
}

// The child goes first (process_ is destroyed before the folder).
ChildSim::~ChildSim() { unsetenv("DQ7184_PORTMAP"); }

void ChildSim::NameGoneDevice() const { faults::NameGoneDevice(portMap_, folder_.Path()); }

bool ChildSim::Start(uint16_t udpPort, std::string* error) {
  unlink(control_.c_str());  // a killed simulator leaves its socket file behind
  const std::vector<std::string> argv = {binary_,
                                         "--address", std::to_string(kModuleAddress),
                                         "--baud-code", std::to_string(kBaudCode),
                                         "--no-input-pattern",
                                         "--com", std::to_string(kComPort),
                                         "--port-map", portMap_,
                                         "--udp-port", std::to_string(udpPort),
                                         "--control", control_};
  if (!process_.Start(argv)) {
    *error = "cannot start " + binary_;
    return false;
  }
  std::string line;
  while (process_.ReadLine(line, 5000)) {
    if (line.rfind("pty ", 0) == 0) ptyPath_ = line.substr(4);
    const size_t colon = line.rfind(':');
    if (line.rfind("udp ", 0) == 0 && colon != std::string::npos) {
      udpPort_ = static_cast<uint16_t>(std::stoi(line.substr(colon + 1)));
    }
    if (line == "ready") return true;
  }
  *error = "dq7184-sim did not get ready";
  return false;
}

std::string ChildSim::Control(const std::string& line) {
  std::string answer, error;
  if (!dqsim::SendControlLine(control_, line, answer, error, 2000)) return std::string();
  return ControlResult(answer);
}

dqsim::SimStats ChildSim::Stats() {
  // "requests N answered N sent N silenced N ..."
  std::istringstream words(Control("stats"));
  dqsim::SimStats stats;
  std::string key;
  uint64_t value = 0;
  while (words >> key >> value) {
    if (key == "requests") stats.requests = value;
    if (key == "answered") stats.answered = value;
    if (key == "sent") stats.sent = value;
    if (key == "silenced") stats.silenced = value;
  }
  return stats;
}

}  // namespace faults
