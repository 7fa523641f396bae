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
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ConfigRegisters.h"
#include "Protocol.h"
#include "SimTime.h"
#include "Simulator.h"

namespace {

constexpr int kSlowCode = 4;  // 9600 Bd
constexpr int kFastCode = 8;  // 115200 Bd
constexpr uint8_t kFaultCommands = 240;
// The longest output a fault may produce: an oversized frame or noise,
// plus the extra bytes behind it; sent again (duplicate) behind the
// previous one (stale).
constexpr size_t kMaxFaultyOutput = 3 * (dqbus::kReplyHeaderSize + 255 + 2 + 1024);

void Check(bool condition) {
  if (!condition) abort();
}

struct ModuleState {
  uint8_t address;
  uint8_t baudCode;
  std::array<uint8_t, 64> registers;
};

std::vector<ModuleState> States(const dqsim::Simulator& sim) {
  std::vector<ModuleState> states;
  for (size_t i = 0; i < sim.ModuleCount(); ++i) {
    const dqsim::ModuleSnapshot s = sim.Snapshot(i);
    states.push_back({s.address, s.baudCode, s.registers});
  }
  return states;
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

void InjectFault(dqsim::Simulator& sim, const dqbus::Request& request) {
  const auto& p = request.params;
  if (p[4] & 1) sim.ClearFaults();
  dqsim::Fault fault;
  fault.kind = static_cast<dqsim::FaultKind>(request.subcode % 12);
  fault.arg = ((p[1] << 8) | p[2]) - 1;
  fault.remaining = p[3] % 4 == 0 ? -1 : p[3] % 4;
  sim.AddFault(fault);
}

void CheckAnswer(const dqbus::Request& request, int baudCode, const std::vector<uint8_t>& out,
                 const std::vector<ModuleState>& before, const std::vector<ModuleState>& after) {
  int target = -1;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i].address == request.address && before[i].baudCode == baudCode) target = static_cast<int>(i);
  }
  for (size_t i = 0; i < before.size(); ++i) {
    Check(after[i].address == before[i].address && after[i].baudCode == before[i].baudCode);
    if (static_cast<int>(i) != target) Check(after[i].registers == before[i].registers);
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
    Check(now[reg & 0x3F] == p[3]);
  }
  for (size_t r = 0; r < now.size(); ++r) {
    if (now[r] != old[r]) Check(written && r == (reg & 0x3Fu));
  }
  if (request.command == 102 && reply->status == dqbus::msOk) {
    const uint8_t value = old[reg & 0x3F];
    Check(dqsim::ConfigRegisters::Exists(reg));
    Check(reply->data == std::vector<uint8_t>({reg, reg, value, value}));
  }
}

// The line's byte stream of an input (see the top of this file).
std::vector<uint8_t> StreamOf(const uint8_t* data, size_t size) {
  if (size == 0 || (data[0] & 1) == 0) return std::vector<uint8_t>(data, data + size);
  std::vector<uint8_t> stream;
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
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  const std::vector<uint8_t> bytes = StreamOf(input, inputSize);
  const uint8_t* data = bytes.data();
  const size_t size = bytes.size();
  dqsim::ManualTime time;
  dqsim::SimOptions options;
  options.addresses = {1, 0x20, 0x21};
  options.baudCode = kSlowCode;
  options.pty = false;
  options.udp = false;
  dqsim::Simulator sim(options, &time);
  if (!sim.Open(nullptr)) abort();
  // The third module runs at the fast rate from its next power-up on.
  Check(sim.WriteRegister(2, dqsim::kRegBaudCode, kFastCode) == dqbus::msOk);
  sim.Restart(2);

  // The stream arrives in pieces, as a line delivers it.
  const size_t chunk = 1 + size % 13;
  dqbus::RequestStream stream;
  for (size_t pos = 0; pos < size; pos += chunk) {
    const size_t length = pos + chunk <= size ? chunk : size - pos;
    for (const dqbus::Request& request : stream.Feed(data + pos, length)) {
      if (request.command >= kFaultCommands) {
        InjectFault(sim, request);
        continue;
      }
      const auto frame = dqbus::EncodeRequest(request);
      for (int baudCode : {kSlowCode, kFastCode}) {
        const bool faulty = !sim.Faults().empty();
        const auto before = States(sim);
        const std::vector<uint8_t> out = sim.Process(frame.data(), frame.size(), baudCode);
        const auto after = States(sim);
        if (faulty) {
          Check(out.size() <= kMaxFaultyOutput);
        } else {
          CheckAnswer(request, baudCode, out, before, after);
        }
      }
      time.AdvanceMicros(37000);
    }
    Check(stream.Pending() < dqbus::kRequestSize);
  }
  return 0;
}
