// What the window checks need of a simulated module, wherever it runs: in
// this process (dqsim::Simulator) or in a child process (control socket).
#pragma once

#include <array>
#include <cstdint>

namespace dqsim {
class Simulator;
}

namespace faults {

class ModuleView {
 public:
  virtual ~ModuleView() = default;
  virtual void SetInputs(uint32_t physical) = 0;
  virtual void Pulse(int channel, uint32_t count) = 0;
  virtual uint32_t Inputs() = 0;  // as reported
  virtual uint8_t Register(uint8_t reg) = 0;
  virtual std::array<uint32_t, 32> Counters() = 0;
};

// The first module of an in-process simulator.
class SimModuleView : public ModuleView {
 public:
  explicit SimModuleView(dqsim::Simulator& sim) : sim_(sim) {}
  void SetInputs(uint32_t physical) override;
  void Pulse(int channel, uint32_t count) override;
  uint32_t Inputs() override;
  uint8_t Register(uint8_t reg) override;
  std::array<uint32_t, 32> Counters() override;

 private:
  dqsim::Simulator& sim_;
};

}  // namespace faults
