// Module side, end to end: arbitrary bytes as the byte stream of a bus line
// into the simulator (request hunter, dispatch by address and rate, the
// modules' command execution, reply encoding, fault injection).
//
// An input whose first byte is even is the stream itself. One whose first
// byte is odd is a list of 9-byte records after that byte, each turned into
// a request frame with a valid CRC (bytes 1-8: address, command, sub-code,
// b3-b7; byte 0 times 257 the transaction number), preceded by byte 0 mod 4
// false start bytes; so that the commands are reached without the fuzzer
// having to find CRCs.
//
// Three modules: 1 and 0x20 at 9600 Bd, 0x21 at 115200 Bd; every request
// found in the stream is offered at both rates. A request with a command of
// 240 or above is no module command here: it injects a fault instead
// (kind = sub-code mod 12, arg = b4 b5 - 1, replies = b6 mod 4, 0 = always;
// b7 odd clears all faults first), so that the fuzzer also combines faults.
//
// Invariants while no fault is active:
// - only the module at the request's address and rate answers, with exactly
//   one frame that decodes, echoes transaction number, address and command, carries at most
//   kReplyMaxData bytes, no data with a status, and the data length of its
//   command;
// - configuration registers change only through command 103 with a valid
//   register, equal copies, and status 0, and then hold the value written;
//   a 102 reply repeats the register and gives its value;
// - no request changes a module's active address or rate.
// With faults active every output stays bounded. Nothing may crash.
//
// The simulator is built once per process and put back into the state it
// was built in before every input (clock, faults and the reply a stale fault
// repeats, every module's registers, clock offset, power-failure record and
// power-up state), so that an input costs its requests, not a simulator.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "sim/model/ConfigRegisters.h"
#include "FuzzDefaults.h"
#include "sim/model/Module.h"
#include "Protocol.h"
#include "sim/model/SimTime.h"
#include "sim/simulator/Simulator.h"

namespace {

constexpr int kSlowCode = 4;  // 9600 Bd
constexpr int kFastCode = 8;  // 115200 Bd
constexpr uint8_t kFaultCommands = 240;
constexpr size_t kModules = 3;
// Room for 28 records or 19 frames of raw stream: enough to combine faults
// with the commands they act on. A longer input mostly adds more of the same
// requests at later clock times.
constexpr size_t kMaxInput = 256;
// The longest output a fault may produce: an oversized frame or noise,
// plus the extra bytes behind it; sent again (duplicate) behind the
// previous one (stale).
constexpr size_t kMaxFaultyOutput = 3 * (dqbus::kReplyHeaderSize + 255 + 2 + 1024);
// Every this many inputs the reset is checked against the state the
// simulator was built in, field by field.
constexpr unsigned kResetCheckEvery = 64;

// Register sets are compared as the 64 bytes they are.
static_assert(std::is_trivially_copyable_v<dqsim::ConfigRegisters> && sizeof(dqsim::ConfigRegisters) == 64);

void Check(bool condition) {
  if (!condition) abort();
}

// A manual clock that can go back to its start: both clocks as a
// ManualTime moves them, from the same start.
class FuzzTime : public dqsim::TimeSource {
 public:
  int64_t PcSeconds() const override { return kStartSeconds + micros_ / 1000000; }
  int64_t PcLocalWallSeconds() const override { return PcSeconds(); }
  int64_t MonotonicMicros() const override { return micros_; }
  void AdvanceMicros(int64_t micros) { micros_ += micros; }
  void Reset() { micros_ = 0; }

 private:
  static constexpr int64_t kStartSeconds = 1767225600;  // 2026-01-01 00:00:00 UTC
  int64_t micros_ = 0;
};

struct ModuleState {
  uint8_t address;
  uint8_t baudCode;
  dqsim::ConfigRegisters registers;
};
using States = std::array<ModuleState, kModules>;

bool SameRegisters(const dqsim::ConfigRegisters& a, const dqsim::ConfigRegisters& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameSnapshot(const dqsim::ModuleSnapshot& a, const dqsim::ModuleSnapshot& b) {
  return a.address == b.address && a.baudCode == b.baudCode && a.registers == b.registers &&
         a.inputs == b.inputs && a.physicalInputs == b.physicalInputs && a.inputPattern == b.inputPattern &&
         a.outputs == b.outputs && a.physicalOutputs == b.physicalOutputs && a.counters == b.counters &&
         a.countersRunning == b.countersRunning && a.status == b.status && a.conditions == b.conditions &&
         a.clock == b.clock && a.clockOffset == b.clockOffset && a.powerFail.start == b.powerFail.start &&
         a.powerFail.end == b.powerFail.end;
}

// Three modules: 1 and 0x20 at 9600 Bd, 0x21 at 115200 Bd (manual clock,
// no lines). Single-threaded: the modules are read and reset directly.
class Fixture {
 public:
  Fixture() {
    dqsim::SimOptions options;
    options.addresses = {1, 0x20, 0x21};
    options.baudCode = kSlowCode;
    options.pty = false;
    options.udp = false;
    sim_ = std::make_unique<dqsim::Simulator>(options, &time_);
    if (!sim_->Open(nullptr)) abort();
    Check(sim_->ModuleCount() == kModules);
    // The third module runs at the fast rate from its next power-up on.
    Check(sim_->WriteRegister(2, dqsim::kRegBaudCode, kFastCode) == dqbus::msOk);
    sim_->Restart(2);
    for (size_t i = 0; i < kModules; ++i) {
      sim_->WithModule(i, [this, i](dqsim::Module& m) { modules_[i] = &m; });
      built_[i] = sim_->Snapshot(i);
      builtRegisters_[i] = modules_[i]->Registers();
    }
  }

  // Back to the state the constructor left; requests change no more than
  // this puts back (faults, registers, outputs, counters, status, clock offset).
  void Reset() {
    time_.Reset();
    sim_->ResetFaults();
    for (size_t i = 0; i < kModules; ++i) {
      dqsim::Module& m = *modules_[i];
      m.Registers() = builtRegisters_[i];
      m.Clock().SetOffset(built_[i].clockOffset);
      m.SetPowerFail(built_[i].powerFail);
      m.PowerUp();
      m.ClearStatusBits(~0u);
      m.SetStatusBits(built_[i].status);
    }
    if (++inputs_ % kResetCheckEvery == 0) {
      for (size_t i = 0; i < kModules; ++i) Check(SameSnapshot(sim_->Snapshot(i), built_[i]));
    }
  }

  void StatesInto(States& states) const {
    for (size_t i = 0; i < kModules; ++i) {
      states[i] = {modules_[i]->ActiveAddress(), modules_[i]->ActiveBaudCode(), modules_[i]->Registers()};
    }
  }

  dqsim::Simulator& Sim() { return *sim_; }
  FuzzTime& Time() { return time_; }

 private:
  FuzzTime time_;
  std::unique_ptr<dqsim::Simulator> sim_;
  std::array<dqsim::Module*, kModules> modules_{};
  std::array<dqsim::ModuleSnapshot, kModules> built_;
  std::array<dqsim::ConfigRegisters, kModules> builtRegisters_;
  unsigned inputs_ = 0;
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

// Data length of a successful reply by command and sub-code.
size_t DataLength(uint8_t command) {
  switch (command) {
    case 0:
    case 100:
    case 102:
    case 200: return 4;
    case 202: return 16;
    default: return 0;
  }
}

dqsim::Fault FaultOf(const dqbus::Request& request) {
  const auto& p = request.params;
  dqsim::Fault fault;
  fault.kind = static_cast<dqsim::FaultKind>(request.subcode % 12);
  fault.arg = ((p[1] << 8) | p[2]) - 1;
  fault.remaining = p[3] % 4 == 0 ? -1 : p[3] % 4;
  return fault;
}

void CheckAnswer(const dqbus::Request& request, int baudCode, const std::vector<uint8_t>& out,
                 const States& before, const States& after) {
  int target = -1;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i].address == request.address && before[i].baudCode == baudCode) target = static_cast<int>(i);
  }
  for (size_t i = 0; i < before.size(); ++i) {
    Check(after[i].address == before[i].address && after[i].baudCode == before[i].baudCode);
    if (static_cast<int>(i) != target) Check(SameRegisters(after[i].registers, before[i].registers));
  }
  if (target < 0) {
    Check(out.empty());
    return;
  }

  Check(out.size() >= dqbus::kReplyMinSize && out.size() <= dqbus::kReplyMaxSize);
  Check(out.size() == dqbus::kReplyHeaderSize + out[dqbus::kReplyCountOffset] + 2u);
  const auto reply = dqbus::DecodeReply(out.data(), out.size());
  Check(reply.has_value());
  Check(reply->data.size() <= dqbus::kReplyMaxData);
  Check(reply->transaction == request.transaction && reply->address == request.address &&
        reply->command == request.command);
  if (reply->status != dqbus::msOk) {
    Check(reply->data.empty());
  } else {
    Check(reply->data.size() == DataLength(request.command));
  }

  const auto& p = request.params;
  const uint8_t reg = p[1];
  const auto& old = before[static_cast<size_t>(target)].registers;
  const auto& now = after[static_cast<size_t>(target)].registers;
  const bool written = request.command == 103 && reply->status == dqbus::msOk;
  if (written) {
    Check(request.subcode == 0 && p[1] == p[2] && p[3] == p[4]);
    Check(dqsim::ConfigRegisters::Exists(reg));
    Check(reg != dqsim::kRegBaudCode || p[3] <= 8);
    Check(now.Read(reg) == p[3]);
  }
  if (!SameRegisters(now, old)) {
    for (size_t r = 0; r < 64; ++r) {
      if (now.Read(static_cast<uint8_t>(r)) != old.Read(static_cast<uint8_t>(r))) Check(written && r == (reg & 0x3Fu));
    }
  }
  if (request.command == 102 && reply->status == dqbus::msOk) {
    const uint8_t value = old.Read(reg);
    Check(dqsim::ConfigRegisters::Exists(reg));
    Check(reply->data == std::vector<uint8_t>({reg, reg, value, value}));
  }
}

// The line's byte stream of an input (see the top of this file), into a
// buffer kept from input to input.
void StreamOf(const uint8_t* data, size_t size, std::vector<uint8_t>& stream) {
  stream.clear();
  if (size == 0 || (data[0] & 1) == 0) {
    stream.assign(data, data + size);
    return;
  }
  for (size_t pos = 1; pos + 9 <= size; pos += 9) {
    const uint8_t* record = data + pos;
    stream.insert(stream.end(), record[0] % 4, dqbus::kRequestStart);
    dqbus::Request request;
    request.transaction = static_cast<uint16_t>(record[0] * 257);
    request.address = record[1];
    request.command = record[2];
    request.subcode = record[3];
    for (int i = 0; i < 5; ++i) request.params[i] = record[4 + i];
    const auto frame = dqbus::EncodeRequest(request);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
}

// Runs one input's stream.
void Run(Fixture& fixture, const std::vector<uint8_t>& bytes) {
  dqsim::Simulator& sim = fixture.Sim();
  const uint8_t* data = bytes.data();
  const size_t size = bytes.size();
  static dqbus::RequestStream stream;
  static States states[2];
  States* before = &states[0];
  States* after = &states[1];
  stream.Clear();
  // Faults come only from the input and go when used up: the simulator is
  // asked only while some may be left.
  bool faultsLeft = false;

  // The stream arrives in pieces, as a line delivers it.
  const size_t chunk = 1 + size % 13;
  for (size_t pos = 0; pos < size; pos += chunk) {
    const size_t length = pos + chunk <= size ? chunk : size - pos;
    for (const dqbus::Request& request : stream.Feed(data + pos, length)) {
      if (request.command >= kFaultCommands) {
        if (request.params[4] & 1) sim.ClearFaults();
        sim.AddFault(FaultOf(request));
        faultsLeft = true;
        continue;
      }
      const auto frame = dqbus::EncodeRequest(request);
      // What one rate's request left is what the other one's starts from.
      fixture.StatesInto(*after);
      for (int baudCode : {kSlowCode, kFastCode}) {
        faultsLeft = faultsLeft && !sim.Faults().empty();
        const bool faulty = faultsLeft;
        std::swap(before, after);
        const std::vector<uint8_t> out = sim.Process(frame.data(), frame.size(), baudCode);
        fixture.StatesInto(*after);
        if (faulty) {
          Check(out.size() <= kMaxFaultyOutput);
        } else {
          CheckAnswer(request, baudCode, out, *before, *after);
        }
      }
      fixture.Time().AdvanceMicros(37000);
    }
    Check(stream.Pending() < dqbus::kRequestSize);
  }
}

}  // namespace

DQ_FUZZ_DEFAULT_MAX_LEN(kMaxInput)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  static std::vector<uint8_t> bytes;
  StreamOf(input, inputSize, bytes);
  Fixture& fixture = TheFixture();
  fixture.Reset();
  Run(fixture, bytes);
  return 0;
}
