// What the window checks need of a simulated module, wherever it runs: in
// this process or in a child process. Either way it is read and set
// through the simulator's control lines, the first module.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace dqsim {
class Simulator;
}

namespace faults {

// A control answer without its final "ok" (empty when the line failed).
std::string ControlResult(const std::string& answer);

class ModuleView {
 public:
  // control: one control line to the simulator; the answer as ControlResult.
  using Control = std::function<std::string(const std::string& line)>;
  explicit ModuleView(Control control) : control_(std::move(control)) {}
  // The first module of an in-process simulator.
  explicit ModuleView(dqsim::Simulator& sim);

  void SetInputs(uint32_t physical);
  void Pulse(int channel, uint32_t count);
  uint32_t Inputs();  // as reported
  uint8_t Register(uint8_t reg);
  std::array<uint32_t, 32> Counters();

 private:
  Control control_;
};

}  // namespace faults
