#include "ChildSim.h"

#include <unistd.h>

#include <sstream>

#include "sim/control/CtlClient.h"
#include "FaultRig.h"

namespace faults {

ChildSim::ChildSim(std::string binary, std::string folder, std::string portMap)
    : binary_(std::move(binary)), control_(folder + "/sim.sock"), portMap_(std::move(portMap)) {}

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
  const size_t ok = answer.rfind("ok");
  return ok == std::string::npos ? std::string() : answer.substr(0, ok);
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

void ChildModuleView::SetInputs(uint32_t physical) { sim_.Control("inputs set " + std::to_string(physical)); }

void ChildModuleView::Pulse(int channel, uint32_t count) {
  sim_.Control("pulse " + std::to_string(channel) + " " + std::to_string(count));
}

uint32_t ChildModuleView::Inputs() {
  // "0xREPORTED physical 0xPHYSICAL pattern off"
  return static_cast<uint32_t>(std::stoul(sim_.Control("inputs"), nullptr, 16));
}

uint8_t ChildModuleView::Register(uint8_t reg) {
  return static_cast<uint8_t>(std::stoul(sim_.Control("reg " + std::to_string(reg))));
}

std::array<uint32_t, 32> ChildModuleView::Counters() {
  // "running|stopped" and the 32 values
  std::istringstream words(sim_.Control("counters"));
  std::string state;
  words >> state;
  std::array<uint32_t, 32> counters{};
  for (uint32_t& counter : counters) words >> counter;
  return counters;
}

}  // namespace faults
