// Opening and closing the simulator: the modules from the state file, the
// lines, the port-map entry, the control socket and the state file.
#include <algorithm>
#include <cstdio>
#include <sys/eventfd.h>
#include <unistd.h>

#include "PortMap.h"
#include "sim/model/StateFile.h"
#include "sim/simulator/SimEngine.h"

namespace dqsim {

namespace {

constexpr int64_t kStateHeartbeatMicros = 10 * 1000000;  // "last running" is at most this old

}  // namespace

bool SimEngine::Open(std::string* error) {
  if (open_) return true;
  stop_ = false;
  SimState state;
  bool haveState = false;
  if (!options_.statePath.empty()) {
    bool missing = false;
    std::string why;
    if (LoadStateFile(options_.statePath, state, missing, &why)) {
      haveState = true;
    } else if (!missing) {
      if (error != nullptr) *error = "state file: " + why;
      return false;
    }
  }

  modules_.clear();
  size_t count = std::max(options_.addresses.size(), state.modules.size());
  for (size_t i = 0; i < count; ++i) {
    ModuleState ms;
    if (i < state.modules.size()) {
      ms = state.modules[i];
    } else {
      ms.registers = ConfigRegisters(options_.addresses[i], options_.baudCode);
    }
    auto module = std::make_unique<Module>(ms.registers, options_.identity, *time_, options_.inputPattern);
    module->Clock().SetOffset(ms.clockOffset);
    module->SetPowerFail(ms.powerFail);
    module->SetWiring(options_.wiring);
    modules_.push_back(std::move(module));
  }
  PowerUpFromState(haveState, state.lastRunning);

  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  open_ = true;
  std::string why;
  if (wakeFd_ < 0 || !OpenLines(&why) ||
      (!options_.controlPath.empty() && !control_.Open(options_.controlPath, &why))) {
    if (wakeFd_ < 0) why = "eventfd failed";
    Close();
    if (error != nullptr) *error = why;
    return false;
  }
  if (!options_.statePath.empty() && !SaveState(&why)) {
    Close();
    if (error != nullptr) *error = "state file: " + why;
    return false;
  }
  running_ = true;
  return true;
}

// A gap since the simulator last ran is a power failure of every module,
// from the time it was last running to now, on each module's own clock.
void SimEngine::PowerUpFromState(bool haveState, int64_t lastRunning) {
  int64_t localShift = time_->PcLocalWallSeconds() - time_->PcSeconds();
  for (auto& module : modules_) {
    if (haveState && lastRunning > 0) {
      PowerFailRecord record;
      record.start = lastRunning + localShift + module->Clock().Offset();
      record.end = module->Clock().Now();
      module->PowerUp(&record);
    } else {
      module->PowerUp();
    }
  }
}

bool SimEngine::OpenLines(std::string* error) {
  uint32_t rate = RateOfCode(modules_.front()->ActiveBaudCode());
  if (options_.pty && !pty_.IsOpen()) {
    if (!pty_.Open(rate, error)) return false;
    RegisterComPort();
    if (options_.comPort > 0 && registeredPty_.empty()) {
      if (error != nullptr) *error = "cannot enter COM" + std::to_string(options_.comPort) + " in " + PortMapPath();
      return false;
    }
  }
  if (!options_.serialDevice.empty() && !serial_.IsOpen() && !serial_.Open(options_.serialDevice, rate, error)) {
    return false;
  }
  if (options_.udp && !udp_.IsOpen() && !udp_.Open(options_.udpBind, options_.udpPort, error)) return false;
  lines_.clear();
  for (StreamPort* port : {static_cast<StreamPort*>(&pty_), static_cast<StreamPort*>(&serial_)}) {
    if (port->IsOpen()) {
      lines_.emplace_back();
      lines_.back().port = port;
    }
  }
  ++generation_;
  Wake();
  return true;
}

std::string SimEngine::PortMapPath() const {
  return options_.portMapPath.empty() ? dqports::MapFilePath() : options_.portMapPath;
}

void SimEngine::RegisterComPort() {
  if (options_.comPort <= 0 || !pty_.IsOpen()) return;
  UnregisterComPort();
  std::string map = PortMapPath();
  if (!map.empty() && dqports::SetEntryIn(map, options_.comPort, pty_.Path()) == 0) {
    registeredPty_ = pty_.Path();
    Log("COM" + std::to_string(options_.comPort) + " -> " + registeredPty_ + " in " + map);
  } else {
    Log("cannot enter COM" + std::to_string(options_.comPort) + " in the port map " + map);
  }
}

void SimEngine::UnregisterComPort() {
  if (registeredPty_.empty()) return;
  std::string map = PortMapPath();
  auto current = dqports::LookupIn(map, options_.comPort);
  if (current && *current == registeredPty_) dqports::SetEntryIn(map, options_.comPort, std::string());
  registeredPty_.clear();
}

void SimEngine::Close() {
  if (!open_) return;
  // A start that failed half-way leaves the state file as it found it.
  if (running_ && !options_.statePath.empty()) {
    std::string why;
    if (!SaveState(&why)) std::fprintf(stderr, "dq7184-sim: %s\n", why.c_str());
  }
  running_ = false;
  RequestStop();  // a loop still running on its thread ends
  UnregisterComPort();
  pty_.Close();
  serial_.Close();
  udp_.Close();
  control_.Close();
  lines_.clear();
  pending_.clear();
  ++generation_;
  if (wakeFd_ >= 0) close(wakeFd_);
  wakeFd_ = -1;
  open_ = false;
}

void SimEngine::MaybeSaveState(int64_t now) {
  if (options_.statePath.empty()) return;
  if (!stateDirty_ && now - lastStateSave_ < kStateHeartbeatMicros) return;
  std::string why;
  if (!SaveState(&why)) {
    std::fprintf(stderr, "dq7184-sim: %s\n", why.c_str());
    lastStateSave_ = now;  // try again at the next heartbeat, not at every wake-up
    stateDirty_ = false;
  }
}

bool SimEngine::SaveState(std::string* error) {
  if (options_.statePath.empty()) {
    if (error != nullptr) *error = "no state file given";
    return false;
  }
  SimState state;
  state.lastRunning = time_->PcSeconds();
  for (const auto& module : modules_) {
    ModuleState ms;
    ms.registers = module->Registers();
    ms.clockOffset = module->Clock().Offset();
    ms.powerFail = module->PowerFail();
    state.modules.push_back(ms);
  }
  if (!SaveStateFile(options_.statePath, state, error)) return false;
  stateDirty_ = false;
  lastStateSave_ = NowMicros();
  return true;
}

bool SimEngine::Disappear(const std::string& which, std::string* error) {
  bool all = which == "all" || which.empty();
  if (!all && which != "pty" && which != "serial" && which != "udp") {
    if (error != nullptr) *error = "disappear what: pty, serial, udp or all";
    return false;
  }
  if (all || which == "pty") pty_.Close();
  if (all || which == "serial") serial_.Close();
  if (all || which == "udp") udp_.Close();
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                [](const Pending& p) { return p.udp ? false : !p.port->IsOpen(); }),
                 pending_.end());
  lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [](const StreamLine& l) { return !l.port->IsOpen(); }),
               lines_.end());
  ++generation_;
  Wake();
  return true;
}

bool SimEngine::Appear(std::string* error) {
  if (!open_) {
    if (error != nullptr) *error = "the simulator is not open";
    return false;
  }
  return OpenLines(error);
}

}  // namespace dqsim
