#include "sim/simulator/SimEngine.h"

#include <chrono>
#include <cstdio>

#include "core/BaudRates.h"
#include "sim/control/ControlCommands.h"

namespace dqsim {

SimEngine::SimEngine(SimOptions options, const TimeSource* time) : options_(std::move(options)), time_(time) {
  if (time_ == nullptr) {
    ownTime_ = std::make_unique<SystemTime>();
    time_ = ownTime_.get();
  }
  if (options_.addresses.empty()) options_.addresses.push_back(0);
}

SimEngine::~SimEngine() { Close(); }

uint32_t SimEngine::RateOfCode(int code) {
  return code >= 0 && code < dqcore::kBaudCodeCount ? dqcore::kBaudRates[code] : 0;
}

int64_t SimEngine::NowMicros() const {
  if (lineClock_ != nullptr) return lineClock_->MonotonicMicros();
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SimEngine::Log(const std::string& text) const {
  if (options_.verbose) std::fprintf(stderr, "dq7184-sim: %s\n", text.c_str());
}

void SimEngine::SetLineClock(const TimeSource* clock) { lineClock_ = clock; }

std::string SimEngine::PtyPath() const {
  return pty_.IsOpen() ? pty_.Path() : std::string();
}

uint16_t SimEngine::UdpPort() const {
  return udp_.IsOpen() ? udp_.Port() : 0;
}

std::string SimEngine::ControlPath() const {
  return control_.IsOpen() ? control_.Path() : std::string();
}

size_t SimEngine::ModuleCount() const {
  return modules_.size();
}

int SimEngine::FindModule(uint8_t address) const {
  for (size_t i = 0; i < modules_.size(); ++i) {
    if (modules_[i]->ActiveAddress() == address) return static_cast<int>(i);
  }
  return -1;
}

Module& SimEngine::ModuleAt(size_t index) { return *modules_.at(index); }

const Module& SimEngine::ModuleAt(size_t index) const { return *modules_.at(index); }

ModuleSnapshot SimEngine::Snapshot(size_t index) const {
  Module& m = *modules_.at(index);
  m.Advance();
  ModuleSnapshot s;
  s.address = m.ActiveAddress();
  s.baudCode = m.ActiveBaudCode();
  for (int r = 0; r < 64; ++r) s.registers[r] = m.Registers().Read(static_cast<uint8_t>(r));
  s.inputs = m.Inputs();
  s.physicalInputs = m.PhysicalInputs();
  s.inputPattern = m.InputPatternOn();
  s.outputs = m.Outputs();
  s.physicalOutputs = m.PhysicalOutputs();
  for (int n = 0; n < 32; ++n) s.counters[n] = m.Counter(n);
  s.countersRunning = m.CountersRunning();
  s.status = m.StatusRegister();
  s.conditions = m.Conditions();
  s.clock = m.Clock().Now();
  s.clockOffset = m.Clock().Offset();
  s.powerFail = m.PowerFail();
  return s;
}

void SimEngine::WithModule(size_t index, const std::function<void(Module&)>& f) {
  f(ModuleAt(index));
  stateDirty_ = true;
}

void SimEngine::SetInputs(size_t index, uint32_t physical) { ModuleAt(index).SetPhysicalInputs(physical); }
void SimEngine::SetInputPattern(size_t index, bool on) { ModuleAt(index).SetInputPattern(on); }
void SimEngine::Pulse(size_t index, int channel, uint32_t count) { ModuleAt(index).Pulse(channel, count); }
uint8_t SimEngine::WriteRegister(size_t index, uint8_t reg, uint8_t value) {
  Module& module = ModuleAt(index);
  uint8_t status = module.Registers().Write(reg, value);
  if (status == dqbus::msOk) stateDirty_ = true;
  module.SetWiring(module.GetWiring());  // an output negation moves wired inputs
  return status;
}

void SimEngine::SetStatusBits(size_t index, uint32_t mask) { ModuleAt(index).SetStatusBits(mask); }
void SimEngine::ClearStatusBits(size_t index, uint32_t mask) { ModuleAt(index).ClearStatusBits(mask); }
void SimEngine::SetCondition(size_t index, int bit, bool on) { ModuleAt(index).SetCondition(bit, on); }
void SimEngine::Restart(size_t index, int64_t offSeconds) {
  ModuleAt(index).Restart(offSeconds);
  AfterPowerUp();
}

void SimEngine::Reset(size_t index) {
  ModuleAt(index).Reset();
  AfterPowerUp();
}

// A real serial line follows the first module's (possibly new) rate.
void SimEngine::AfterPowerUp() {
  serial_.FollowModuleRate(RateOfCode(modules_.front()->ActiveBaudCode()));
  for (auto& line : lines_) line.stream.Clear();
  stateDirty_ = true;
}

void SimEngine::AddFault(const Fault& fault) {
  faults_.Add(fault);
}

void SimEngine::ClearFaults() {
  faults_.Clear();
}

void SimEngine::ResetFaults() {
  faults_.Reset();
}

void SimEngine::ClearFault(FaultKind kind) {
  faults_.Clear(kind);
}

std::vector<Fault> SimEngine::Faults() const {
  return faults_.Active();
}

SimStats SimEngine::Stats() const {
  return stats_;
}

std::string SimEngine::Control(const std::string& line) {
  bool close = false;
  return RunControlLine(*this, line, close);
}

}  // namespace dqsim
