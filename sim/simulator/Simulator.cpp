#include "sim/simulator/Simulator.h"

#include <ctime>

namespace dqsim {

Simulator::Simulator(SimOptions options, const TimeSource* time) : engine_(std::move(options), time) {}

Simulator::~Simulator() {
  StopThread();
  Close();
}

bool Simulator::Open(std::string* error) { return Locked(&SimEngine::Open, error); }
void Simulator::Close() { Locked(&SimEngine::Close); }

// ---- the loop -------------------------------------------------------------------

void Simulator::RunOnce(int maxWaitMs) {
  int64_t timeoutUs = 0;
  {
    Lock lock(mu_);
    if (!engine_.PreparePoll(maxWaitMs, timeoutUs)) return;
  }
  // Only the loop touches the poll set, so the wait needs no lock.
  std::vector<pollfd>& fds = engine_.PollFds();
  timespec timeout{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
  int ready = ppoll(fds.data(), fds.size(), &timeout, nullptr);
  Lock lock(mu_);
  engine_.HandlePolled(ready);
}

void Simulator::Run() {
  while (!engine_.StopRequested()) RunOnce(1000);
}

void Simulator::StartThread() {
  if (thread_.joinable()) return;
  engine_.ClearStop();
  thread_ = std::thread([this] { Run(); });
}

void Simulator::StopThread() {
  if (!thread_.joinable()) return;
  RequestStop();
  thread_.join();
}

void Simulator::SetLineClock(const TimeSource* clock) { Locked(&SimEngine::SetLineClock, clock); }

// ---- the engine's operations under the lock ----------------------------------------

std::string Simulator::PtyPath() const { return Locked(&SimEngine::PtyPath); }
uint16_t Simulator::UdpPort() const { return Locked(&SimEngine::UdpPort); }
std::string Simulator::ControlPath() const { return Locked(&SimEngine::ControlPath); }
std::string Simulator::PortMapPath() const { return Locked(&SimEngine::PortMapPath); }
size_t Simulator::ModuleCount() const { return Locked(&SimEngine::ModuleCount); }
int Simulator::FindModule(uint8_t address) const { return Locked(&SimEngine::FindModule, address); }
ModuleSnapshot Simulator::Snapshot(size_t module) const { return Locked(&SimEngine::Snapshot, module); }
void Simulator::SetInputs(size_t module, uint32_t physical) { Locked(&SimEngine::SetInputs, module, physical); }
void Simulator::SetInputPattern(size_t module, bool on) { Locked(&SimEngine::SetInputPattern, module, on); }
void Simulator::Pulse(size_t module, int channel, uint32_t count) { Locked(&SimEngine::Pulse, module, channel, count); }
uint8_t Simulator::WriteRegister(size_t module, uint8_t reg, uint8_t value) {
  return Locked(&SimEngine::WriteRegister, module, reg, value);
}
void Simulator::SetStatusBits(size_t module, uint32_t mask) { Locked(&SimEngine::SetStatusBits, module, mask); }
void Simulator::ClearStatusBits(size_t module, uint32_t mask) { Locked(&SimEngine::ClearStatusBits, module, mask); }
void Simulator::SetCondition(size_t module, int bit, bool on) { Locked(&SimEngine::SetCondition, module, bit, on); }
void Simulator::Restart(size_t module, int64_t offSeconds) { Locked(&SimEngine::Restart, module, offSeconds); }
void Simulator::Reset(size_t module) { Locked(&SimEngine::Reset, module); }
void Simulator::WithModule(size_t module, const std::function<void(Module&)>& f) {
  Locked(&SimEngine::WithModule, module, f);
}
void Simulator::AddFault(const Fault& fault) { Locked(&SimEngine::AddFault, fault); }
void Simulator::ClearFaults() { Locked(&SimEngine::ClearFaults); }
void Simulator::ResetFaults() { Locked(&SimEngine::ResetFaults); }
void Simulator::ClearFault(FaultKind kind) { Locked(&SimEngine::ClearFault, kind); }
std::vector<Fault> Simulator::Faults() const { return Locked(&SimEngine::Faults); }
bool Simulator::Disappear(const std::string& which, std::string* error) {
  return Locked(&SimEngine::Disappear, which, error);
}
bool Simulator::Appear(std::string* error) { return Locked(&SimEngine::Appear, error); }
SimStats Simulator::Stats() const { return Locked(&SimEngine::Stats); }
std::string Simulator::Control(const std::string& line) { return Locked(&SimEngine::Control, line); }
bool Simulator::SaveState(std::string* error) { return Locked(&SimEngine::SaveState, error); }
std::vector<uint8_t> Simulator::Process(const uint8_t* frame, size_t size, int baudCode) {
  return Locked(&SimEngine::Process, frame, size, baudCode);
}

}  // namespace dqsim
