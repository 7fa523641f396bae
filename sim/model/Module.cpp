#include "sim/model/Module.h"

#include <algorithm>

#include "sim/model/InputPattern.h"
#include "core/BaudRates.h"
#include "core/ModuleCommands.h"

namespace dqsim {

namespace {

constexpr uint64_t kMaxCatchUpSteps = 10000;  // beyond this the pattern jumps

bool AllEqual(const std::array<uint8_t, 5>& p, uint8_t value) {
  return p[1] == value && p[2] == value && p[3] == value && p[4] == value;
}

void PutMask(dqbus::ReplyData& data, uint32_t mask) {
  for (int j = 0; j < 4; ++j) data.push_back(static_cast<uint8_t>(mask >> (8 * j)));
}

}  // namespace

Module::Module(const ConfigRegisters& registers, const ModuleIdentity& identity, const TimeSource& time,
               bool inputPattern)
    : time_(time), registers_(registers), identity_(identity), clock_(time), patternOn_(inputPattern) {
  activeAddress_ = registers_.Address();
  activeBaudCode_ = registers_.BaudCode();
}

void Module::PowerUp(const PowerFailRecord* failure) { StartUp(true, failure); }

void Module::Restart(int64_t offSeconds) {
  PowerFailRecord record;
  record.end = clock_.Now();
  record.start = record.end - std::max<int64_t>(offSeconds, 0);
  StartUp(true, &record);
}

void Module::Reset() { StartUp(false, nullptr); }

void Module::StartUp(bool powerLoss, const PowerFailRecord* failure) {
  uint8_t baud = registers_.BaudCode() < dqcore::kBaudCodeCount ? registers_.BaudCode() : dqcore::kDefaultBaudCode;
  bool changed = poweredBefore_ && (registers_.Address() != activeAddress_ || baud != activeBaudCode_);
  activeAddress_ = registers_.Address();
  activeBaudCode_ = baud;
  poweredBefore_ = true;

  status_ = 0;
  if (powerLoss) status_ |= 1u << kStatusPwr;
  if (!powerLoss || changed) status_ |= 1u << kStatusRst;
  if (failure != nullptr) {
    powerFail_ = *failure;
    status_ |= 1u << kStatusPrf;
  }
  status_ |= conditions_;

  outputs_ = registers_.DoutInitialState();
  running_ = true;
  counters_.fill(0);
  prescalers_.fill(0);
  stepOrigin_ = time_.MonotonicMicros();
  step_ = 0;
  if (patternOn_) physicalInputs_ = InputPatternAt(0);
  physicalInputs_ = wiring_.Apply(physicalInputs_, PhysicalOutputs());
}

void Module::Advance() {
  if (!poweredBefore_) return;  // time starts at the first power-up
  int64_t elapsed = time_.MonotonicMicros() - stepOrigin_;
  uint64_t target = elapsed > 0 ? static_cast<uint64_t>(elapsed / kPatternStepMicros) : 0;
  if (target <= step_) return;
  if (!patternOn_) {
    step_ = target;
    return;
  }
  if (target - step_ > kMaxCatchUpSteps) {
    step_ = target - kMaxCatchUpSteps;
    physicalInputs_ = wiring_.Apply(InputPatternAt(step_), PhysicalOutputs());
  }
  while (step_ < target) {
    ++step_;
    ApplyInputs(InputPatternAt(step_));
  }
}

void Module::SetPhysicalInputs(uint32_t mask) {
  Advance();
  patternOn_ = false;
  ApplyInputs(mask);
}

void Module::SetInputPattern(bool on) {
  Advance();
  if (on == patternOn_) return;
  patternOn_ = on;
  if (on) ApplyInputs(InputPatternAt(step_));
}

void Module::Pulse(int channel, uint32_t count) {
  if (channel < 0 || channel > 31) return;
  Advance();
  CountEdges(1u << channel, count);
}

void Module::SetWiring(const Wiring& wiring) {
  wiring_ = wiring;
  ApplyInputs(physicalInputs_);
}

// Every change of the physical inputs, the outputs or the negation passes
// here, so that wired inputs follow their outputs and their edges count.
void Module::ApplyInputs(uint32_t newPhysical) {
  newPhysical = wiring_.Apply(newPhysical, PhysicalOutputs());
  uint32_t negation = registers_.DinNegation();
  uint32_t before = physicalInputs_ ^ negation;
  uint32_t after = newPhysical ^ negation;
  physicalInputs_ = newPhysical;
  CountEdges(after & ~before);
}

void Module::CountEdges(uint32_t risingMask, uint32_t times) {
  if (!running_ || risingMask == 0 || times == 0) return;
  for (int n = 0; n < 32; ++n) {
    if (!(risingMask & (1u << n))) continue;
    if (n < 4) {
      // One count per PulseNumber pulses; 0 counts as 1.
      uint32_t per = std::max<uint32_t>(registers_.PulseNumber(n), 1);
      uint64_t total = static_cast<uint64_t>(prescalers_[n]) + times;
      counters_[n] += static_cast<uint32_t>(total / per);
      prescalers_[n] = static_cast<uint32_t>(total % per);
    } else {
      counters_[n] += times;
    }
  }
}

void Module::SetCondition(int bit, bool on) {
  uint32_t mask = 1u << (bit & 31);
  if (on) {
    conditions_ |= mask;
    status_ |= mask;
  } else {
    conditions_ &= ~mask;
  }
}

std::array<uint8_t, 4> Module::IdentBytes(int subcode) const {
  std::string text = subcode == dqcmd::kSubFirmwareVersion ? identity_.version : identity_.model;
  size_t from = subcode == dqcmd::kSubTypeNameSecond ? 4 : 0;
  std::array<uint8_t, 4> bytes{' ', ' ', ' ', ' '};
  for (size_t i = 0; i < 4 && from + i < text.size(); ++i) bytes[i] = static_cast<uint8_t>(text[from + i]);
  return bytes;
}

dqbus::Reply Module::Execute(const dqbus::Request& request) {
  Advance();
  dqbus::Reply reply = Answer(request);
  reply.transaction = request.transaction;
  reply.address = activeAddress_;
  reply.command = request.command;
  if (reply.status != dqbus::msOk) reply.data.clear();
  return reply;
}

dqbus::Reply Module::Answer(const dqbus::Request& request) {
  dqbus::Reply reply;
  auto& data = reply.data;
  const auto& p = request.params;  // p[0] = b3 ... p[4] = b7
  const uint8_t sub = request.subcode;
  auto status = [&reply](uint8_t s) {
    reply.status = s;
    return reply;
  };
  auto put4 = [&data](const std::array<uint8_t, 4>& bytes) { data.assign(bytes.begin(), bytes.end()); };

  switch (request.command) {
    case dqcmd::kCmdRead:
      if (sub == dqcmd::kSubInputs) {
        PutMask(data, Inputs());
      } else if (sub == dqcmd::kSubCounterRun) {
        PutMask(data, running_ ? 0xFFFFFFFFu : 0u);
      } else {
        return status(dqbus::msBadSubcode);
      }
      return reply;
    case dqcmd::kCmdWrite:
      if (sub == dqcmd::kSubOutputs) {
        outputs_ = static_cast<uint32_t>(p[1] | (p[2] << 8) | (p[3] << 16)) | (static_cast<uint32_t>(p[4]) << 24);
        ApplyInputs(physicalInputs_);
      } else if (sub == dqcmd::kSubCounterRun) {
        if (AllEqual(p, dqcmd::kCountersStart)) {
          running_ = true;
        } else if (AllEqual(p, dqcmd::kCountersStop)) {
          running_ = false;
        } else {
          return status(dqbus::msBadValue);
        }
      } else if (sub == dqcmd::kSubClearCounters) {
        if (!AllEqual(p, dqcmd::kCountersClear)) return status(dqbus::msBadValue);
        counters_.fill(0);
        prescalers_.fill(0);
      } else {
        return status(dqbus::msBadSubcode);
      }
      return reply;
    case dqcmd::kCmdReadModule:
      switch (sub) {
        case dqcmd::kSubStatusRegister: PutMask(data, StatusRegister()); break;
        case dqcmd::kSubTime: put4(TimeBytes(clock_.Now())); break;
        case dqcmd::kSubDate: put4(DateBytes(clock_.Now())); break;
        case dqcmd::kSubFailureStartTime: put4(TimeBytes(powerFail_.start)); break;
        case dqcmd::kSubFailureStartDate: put4(DateBytes(powerFail_.start)); break;
        case dqcmd::kSubFailureEndTime: put4(TimeBytes(powerFail_.end)); break;
        case dqcmd::kSubFailureEndDate: put4(DateBytes(powerFail_.end)); break;
        default: return status(dqbus::msBadSubcode);
      }
      return reply;
    case dqcmd::kCmdWriteModule:
      if (sub == dqcmd::kSubClearStatus) {
        status_ = conditions_;  // a lasting fault sets its bit again at once
        return reply;
      }
      if (sub == dqcmd::kSubTime) return status(clock_.SetTime(p[1], p[2], p[3]));
      if (sub == dqcmd::kSubDate) return status(clock_.SetDate(p[1], p[2], p[3]));
      return status(dqbus::msBadSubcode);
    case dqcmd::kCmdReadRegister:
      if (sub != dqcmd::kSubRegister) return status(dqbus::msBadSubcode);
      return status(ReadRegister(request, data));
    case dqcmd::kCmdWriteRegister:
      if (sub != dqcmd::kSubRegister) return status(dqbus::msBadSubcode);
      return status(WriteRegister(request));
    case dqcmd::kCmdIdentify:
      if (sub > dqcmd::kSubFirmwareVersion) return status(dqbus::msBadSubcode);
      put4(IdentBytes(sub));
      return reply;
    case dqcmd::kCmdReadCounters:
      if (sub >= dqcmd::kCounterGroupCount) return status(dqbus::msBadSubcode);
      for (int j = 0; j < dqcmd::kCountersPerGroup; ++j) PutMask(data, counters_[dqcmd::kCountersPerGroup * sub + j]);
      return reply;
    default:
      return status(dqbus::msUnknownCommand);
  }
}

// The register number travels twice (b4, b5) and a written value twice
// (b6, b7); copies that disagree are refused.
uint8_t Module::ReadRegister(const dqbus::Request& request, dqbus::ReplyData& data) const {
  const auto& p = request.params;
  if (p[1] != p[2] || !ConfigRegisters::Exists(p[1])) return dqbus::msBadRegister;
  uint8_t value = registers_.Read(p[1]);
  data = {p[1], p[1], value, value};
  return dqbus::msOk;
}

uint8_t Module::WriteRegister(const dqbus::Request& request) {
  const auto& p = request.params;
  if (p[1] != p[2] || !ConfigRegisters::Exists(p[1])) return dqbus::msBadRegister;
  if (p[3] != p[4]) return dqbus::msBadValue;
  uint8_t result = registers_.Write(p[1], p[3]);
  if (!wiring_.Empty()) ApplyInputs(physicalInputs_);  // an output negation moves wired inputs
  return result;
}

}  // namespace dqsim
