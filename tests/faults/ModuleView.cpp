#include "ModuleView.h"

#include <sstream>

#include "sim/simulator/Simulator.h"

namespace faults {

std::string ControlResult(const std::string& answer) {
  const size_t ok = answer.rfind("ok");
  return ok == std::string::npos ? std::string() : answer.substr(0, ok);
}

ModuleView::ModuleView(dqsim::Simulator& sim)
    : control_([&sim](const std::string& line) { return ControlResult(sim.Control(line)); }) {}

void ModuleView::SetInputs(uint32_t physical) { control_("inputs set " + std::to_string(physical)); }

void ModuleView::Pulse(int channel, uint32_t count) {
  control_("pulse " + std::to_string(channel) + " " + std::to_string(count));
}

uint32_t ModuleView::Inputs() {
  // "0xREPORTED physical 0xPHYSICAL pattern off"
  return static_cast<uint32_t>(std::stoul(control_("inputs"), nullptr, 16));
}

uint8_t ModuleView::Register(uint8_t reg) {
  return static_cast<uint8_t>(std::stoul(control_("reg " + std::to_string(reg))));
}

std::array<uint32_t, 32> ModuleView::Counters() {
  // "running|stopped" and the 32 values
  std::istringstream words(control_("counters"));
  std::string state;
  words >> state;
  std::array<uint32_t, 32> counters{};
  for (uint32_t& counter : counters) words >> counter;
  return counters;
}

}  // namespace faults
