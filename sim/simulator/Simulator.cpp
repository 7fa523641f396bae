#include "sim/simulator/Simulator.h"

#include <ctime>

namespace dqsim {

Simulator::Simulator(SimOptions options, const TimeSource* time) : engine_(std::move(options), time) {}

Simulator::~Simulator() {
  StopThread();
  Close();
}

bool Simulator::Open(std::string* error) {
  Lock lock(mu_);
  return engine_.Open(error);
}

void Simulator::Close() {
  Lock lock(mu_);
  engine_.Close();
}

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

void Simulator::SetLineClock(const TimeSource* clock) {
  Lock lock(mu_);
  engine_.SetLineClock(clock);
}

// ---- the engine's operations under the lock ----------------------------------------

std::string Simulator::PtyPath() const {
  Lock lock(mu_);
  return engine_.PtyPath();
}

uint16_t Simulator::UdpPort() const {
  Lock lock(mu_);
  return engine_.UdpPort();
}

std::string Simulator::ControlPath() const {
  Lock lock(mu_);
  return engine_.ControlPath();
}

std::string Simulator::PortMapPath() const {
  Lock lock(mu_);
  return engine_.PortMapPath();
}

size_t Simulator::ModuleCount() const {
  Lock lock(mu_);
  return engine_.ModuleCount();
}

int Simulator::FindModule(uint8_t address) const {
  Lock lock(mu_);
  return engine_.FindModule(address);
}

ModuleSnapshot Simulator::Snapshot(size_t module) const {
  Lock lock(mu_);
  return engine_.Snapshot(module);
}

void Simulator::SetInputs(size_t module, uint32_t physical) {
  Lock lock(mu_);
  engine_.SetInputs(module, physical);
}

void Simulator::SetInputPattern(size_t module, bool on) {
  Lock lock(mu_);
  engine_.SetInputPattern(module, on);
}

void Simulator::Pulse(size_t module, int channel, uint32_t count) {
  Lock lock(mu_);
  engine_.Pulse(module, channel, count);
}

uint8_t Simulator::WriteRegister(size_t module, uint8_t reg, uint8_t value) {
  Lock lock(mu_);
  return engine_.WriteRegister(module, reg, value);
}

void Simulator::SetStatusBits(size_t module, uint32_t mask) {
  Lock lock(mu_);
  engine_.SetStatusBits(module, mask);
}

void Simulator::ClearStatusBits(size_t module, uint32_t mask) {
  Lock lock(mu_);
  engine_.ClearStatusBits(module, mask);
}

void Simulator::SetCondition(size_t module, int bit, bool on) {
  Lock lock(mu_);
  engine_.SetCondition(module, bit, on);
}

void Simulator::Restart(size_t module, int64_t offSeconds) {
  Lock lock(mu_);
  engine_.Restart(module, offSeconds);
}

void Simulator::Reset(size_t module) {
  Lock lock(mu_);
  engine_.Reset(module);
}

void Simulator::WithModule(size_t module, const std::function<void(Module&)>& f) {
  Lock lock(mu_);
  engine_.WithModule(module, f);
}

void Simulator::AddFault(const Fault& fault) {
  Lock lock(mu_);
  engine_.AddFault(fault);
}

void Simulator::ClearFaults() {
  Lock lock(mu_);
  engine_.ClearFaults();
}

void Simulator::ClearFault(FaultKind kind) {
  Lock lock(mu_);
  engine_.ClearFault(kind);
}

std::vector<Fault> Simulator::Faults() const {
  Lock lock(mu_);
  return engine_.Faults();
}

bool Simulator::Disappear(const std::string& which, std::string* error) {
  Lock lock(mu_);
  return engine_.Disappear(which, error);
}

bool Simulator::Appear(std::string* error) {
  Lock lock(mu_);
  return engine_.Appear(error);
}

SimStats Simulator::Stats() const {
  Lock lock(mu_);
  return engine_.Stats();
}

std::string Simulator::Control(const std::string& line) {
  Lock lock(mu_);
  return engine_.Control(line);
}

bool Simulator::SaveState(std::string* error) {
  Lock lock(mu_);
  return engine_.SaveState(error);
}

std::vector<uint8_t> Simulator::Process(const uint8_t* frame, size_t size, int baudCode) {
  Lock lock(mu_);
  return engine_.Process(frame, size, baudCode);
}

}  // namespace dqsim
