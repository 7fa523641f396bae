#include "ControlCommands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "Simulator.h"
#include "core/BaudRates.h"

namespace dqsim {

namespace {

const char kHelp[] =
    "help                                 this list\n"
    "show [@A]                            state of every module (or of the one at address A)\n"
    "stats                                traffic counters\n"
    "ports                                where the simulator can be reached\n"
    "inputs [@A]                          inputs as reported, physical inputs, pattern\n"
    "inputs [@A] set MASK                 set the physical inputs (stops the pattern)\n"
    "inputs [@A] pattern on|off           the moving input pattern\n"
    "pulse [@A] CHANNEL [COUNT]           COUNT rising edges (default 1) on input DIN CHANNEL\n"
    "outputs [@A]                         outputs as written and as driven (negation applied)\n"
    "counters [@A]                        run state and the 32 counters\n"
    "reg [@A] R [V]                       read configuration register R, or write V into it\n"
    "status [@A]                          status register\n"
    "status [@A] set MASK | clear [MASK]  set or clear status bits (clear: all)\n"
    "condition [@A] fn|err24 on|off       lasting fault: function fault, 24 V supply fault\n"
    "clock [@A]                           module time and the recorded power failure\n"
    "restart [@A] [SECONDS]               power cycle (every module unless @A), off for SECONDS\n"
    "reset [@A]                           reset without power loss\n"
    "fault KIND [ARG] [next N|always]     inject a fault into the next N replies (default 1)\n"
    "                                     or into every reply; KIND: silence, corrupt-crc,\n"
    "                                     wrong-address [A], wrong-command [C], garbage [BYTES],\n"
    "                                     truncate [BYTES], oversize-count [COUNT],\n"
    "                                     oversize-extra [BYTES], delay MS, status [S],\n"
    "                                     duplicate [MS], stale\n"
    "fault clear [KIND]                   remove every fault, or those of one kind\n"
    "drop N                               swallow the next N replies (fault silence next N)\n"
    "faults                               active faults\n"
    "disappear [pty|serial|udp|all]       close lines as if unplugged\n"
    "appear                               open them again (a new pseudo-terminal path)\n"
    "save                                 write the state file now\n"
    "quit                                 end this control connection\n"
    "shutdown                             end the simulator\n"
    "Numbers are decimal or hexadecimal after 0x.\n";

struct Reply {
  std::string lines;
  std::string Ok() { return lines + "ok\n"; }
};

std::string Error(const std::string& why) { return "error: " + why + "\n"; }

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

bool ParseNumber(const std::string& token, uint64_t max, uint64_t& value) {
  if (token.empty() || token[0] == '-' || token[0] == '+') return false;
  const char* begin = token.c_str();
  int base = 10;
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    begin += 2;
    base = 16;
    if (*begin == '-' || *begin == '+') return false;
  }
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(begin, &end, base);
  if (errno != 0 || end == begin || *end != '\0' || parsed > max) return false;
  value = parsed;
  return true;
}

std::string DateTimeText(int64_t wallSeconds) {
  if (wallSeconds == 0) return "none";
  ClockFields f = FieldsOf(wallSeconds);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                f.second);
  return text;
}

std::string StatusNames(uint32_t status) {
  static const struct {
    int bit;
    const char* name;
  } kNames[] = {{kStatusFn, "FN"}, {kStatusPrf, "PRF"}, {kStatusPwr, "PWR"}, {kStatusRst, "RST"},
                {kStatusErr24, "ERR24"}};
  std::string names;
  for (const auto& entry : kNames) {
    if (status & (1u << entry.bit)) names += std::string(names.empty() ? "" : " ") + entry.name;
  }
  return names.empty() ? "-" : names;
}

class Command {
 public:
  Command(Simulator& sim, const std::string& line) : sim_(sim) {
    std::istringstream in(line);
    for (std::string word; in >> word;) {
      if (word[0] == '@') {
        selector_ = word.substr(1);
        hasSelector_ = true;
      } else {
        words_.push_back(word);
      }
    }
    if (!words_.empty()) {
      std::transform(words_[0].begin(), words_[0].end(), words_[0].begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
  }

  std::string Run(bool& close);

 private:
  size_t Args() const { return words_.size() - 1; }
  const std::string& Arg(size_t i) const { return words_[i + 1]; }
  // Module named by @A, else the first; false (with error set) when there is none.
  bool Target(size_t& index, std::string& error) const;
  std::vector<size_t> Targets(std::string& error) const;

  std::string Show();
  std::string Inputs();
  std::string Pulse();
  std::string Register();
  std::string Status();
  std::string Condition();
  std::string Restart(bool powerCycle);
  std::string AddFault();
  std::string ShowFaults();
  std::string ShowPorts();

  Simulator& sim_;
  std::vector<std::string> words_;
  std::string selector_;
  bool hasSelector_ = false;
};

bool Command::Target(size_t& index, std::string& error) const {
  if (!hasSelector_) {
    index = 0;
    return true;
  }
  uint64_t address = 0;
  if (!ParseNumber(selector_, 255, address)) {
    error = Error("@ wants a module address 0-255");
    return false;
  }
  int found = sim_.FindModule(static_cast<uint8_t>(address));
  if (found < 0) {
    error = Error("no module answers at address " + std::to_string(address));
    return false;
  }
  index = static_cast<size_t>(found);
  return true;
}

std::vector<size_t> Command::Targets(std::string& error) const {
  std::vector<size_t> all;
  if (hasSelector_) {
    size_t index = 0;
    if (Target(index, error)) all.push_back(index);
    return all;
  }
  for (size_t i = 0; i < sim_.ModuleCount(); ++i) all.push_back(i);
  return all;
}

std::string Command::Run(bool& close) {
  if (words_.empty()) return Error("empty command; try help");
  const std::string& verb = words_[0];
  std::string error;
  size_t module = 0;
  Reply reply;
  if (verb == "help") return std::string(kHelp) + "ok\n";
  if (verb == "show") return Show();
  if (verb == "stats") {
    SimStats s = sim_.Stats();
    reply.lines = "requests " + std::to_string(s.requests) + " answered " + std::to_string(s.answered) + " sent " +
                  std::to_string(s.sent) + " silenced " + std::to_string(s.silenced) + " other-address " +
                  std::to_string(s.otherAddress) + " wrong-baud " + std::to_string(s.wrongBaud) +
                  " bad-datagrams " + std::to_string(s.badDatagrams) + " noise-bytes " +
                  std::to_string(s.noiseBytes) + "\n";
    return reply.Ok();
  }
  if (verb == "ports") return ShowPorts();
  if (verb == "inputs") return Inputs();
  if (verb == "pulse") return Pulse();
  if (verb == "outputs") {
    if (Args() != 0) return Error("outputs takes no arguments");
    if (!Target(module, error)) return error;
    ModuleSnapshot s = sim_.Snapshot(module);
    reply.lines = Hex32(s.outputs) + " physical " + Hex32(s.physicalOutputs) + "\n";
    return reply.Ok();
  }
  if (verb == "counters") {
    if (Args() != 0) return Error("counters takes no arguments");
    if (!Target(module, error)) return error;
    ModuleSnapshot s = sim_.Snapshot(module);
    reply.lines = s.countersRunning ? "running" : "stopped";
    for (uint32_t value : s.counters) reply.lines += " " + std::to_string(value);
    reply.lines += "\n";
    return reply.Ok();
  }
  if (verb == "reg") return Register();
  if (verb == "status") return Status();
  if (verb == "condition") return Condition();
  if (verb == "clock") {
    if (Args() != 0) return Error("clock takes no arguments");
    if (!Target(module, error)) return error;
    ModuleSnapshot s = sim_.Snapshot(module);
    reply.lines = DateTimeText(s.clock) + " offset " + std::to_string(s.clockOffset) + "\n" + "power-fail " +
                  DateTimeText(s.powerFail.start) + " .. " + DateTimeText(s.powerFail.end) + "\n";
    return reply.Ok();
  }
  if (verb == "restart") return Restart(true);
  if (verb == "reset") return Restart(false);
  if (verb == "fault") return AddFault();
  if (verb == "drop") {
    uint64_t n = 0;
    if (Args() != 1 || !ParseNumber(Arg(0), 1000000, n) || n == 0) return Error("drop N (N at least 1)");
    sim_.AddFault(Fault{FaultKind::kSilence, -1, static_cast<int>(n)});
    return reply.Ok();
  }
  if (verb == "faults") return ShowFaults();
  if (verb == "disappear") {
    if (Args() > 1) return Error("disappear [pty|serial|udp|all]");
    if (!sim_.Disappear(Args() ? Arg(0) : "all", &error)) return Error(error);
    return reply.Ok();
  }
  if (verb == "appear") {
    if (!sim_.Appear(&error)) return Error(error);
    return ShowPorts();
  }
  if (verb == "save") {
    if (!sim_.SaveState(&error)) return Error(error);
    return reply.Ok();
  }
  if (verb == "quit") {
    close = true;
    return reply.Ok();
  }
  if (verb == "shutdown") {
    sim_.RequestStop();
    close = true;
    return reply.Ok();
  }
  return Error("unknown command '" + verb + "'; try help");
}

std::string Command::Show() {
  std::string error;
  std::vector<size_t> targets = Targets(error);
  if (!error.empty()) return error;
  Reply reply;
  for (size_t index : targets) {
    ModuleSnapshot s = sim_.Snapshot(index);
    auto& out = reply.lines;
    char line[160];
    std::snprintf(line, sizeof line, "module %zu: address %u, baud code %u (%u Bd)\n", index, s.address, s.baudCode,
                  dqcore::kBaudRates[s.baudCode % dqcore::kBaudCodeCount]);
    out += line;
    if (s.registers[0x3F] != s.address || s.registers[0x3E] != s.baudCode) {
      std::snprintf(line, sizeof line, "  next power-up: address %u, baud code %u\n", s.registers[0x3F],
                    s.registers[0x3E]);
      out += line;
    }
    out += "  inputs " + Hex32(s.inputs) + " (physical " + Hex32(s.physicalInputs) + ", pattern " +
           (s.inputPattern ? "on" : "off") + ")\n";
    out += "  outputs " + Hex32(s.outputs) + " (physical " + Hex32(s.physicalOutputs) + ")\n";
    out += std::string("  counters ") + (s.countersRunning ? "running:" : "stopped:");
    for (uint32_t value : s.counters) out += " " + std::to_string(value);
    out += "\n";
    out += "  status " + Hex32(s.status) + " (" + StatusNames(s.status) + ")\n";
    out += "  clock " + DateTimeText(s.clock) + " (offset " + std::to_string(s.clockOffset) + " s)\n";
    out += "  power failure " + DateTimeText(s.powerFail.start) + " .. " + DateTimeText(s.powerFail.end) + "\n";
    uint32_t dinNeg = 0, doutNeg = 0, doutInit = 0;
    for (int j = 0; j < 4; ++j) {
      doutInit |= static_cast<uint32_t>(s.registers[0x20 + 3 * j]) << (8 * j);
      dinNeg |= static_cast<uint32_t>(s.registers[0x21 + 3 * j]) << (8 * j);
      doutNeg |= static_cast<uint32_t>(s.registers[0x22 + 3 * j]) << (8 * j);
    }
    out += "  pulse numbers";
    for (int i = 0; i < 4; ++i) out += " " + std::to_string(s.registers[2 * i] | (s.registers[2 * i + 1] << 8));
    out += ", din-negation " + Hex32(dinNeg) + ", dout-negation " + Hex32(doutNeg) + ", dout-initial " +
           Hex32(doutInit) + "\n";
  }
  std::vector<Fault> faults = sim_.Faults();
  reply.lines += "faults:";
  if (faults.empty()) reply.lines += " none";
  for (const auto& fault : faults) reply.lines += " [" + DescribeFault(fault) + "]";
  reply.lines += "\n";
  return reply.Ok();
}

std::string Command::Inputs() {
  std::string error;
  size_t module = 0;
  if (!Target(module, error)) return error;
  Reply reply;
  if (Args() == 0) {
    ModuleSnapshot s = sim_.Snapshot(module);
    reply.lines = Hex32(s.inputs) + " physical " + Hex32(s.physicalInputs) + " pattern " +
                  (s.inputPattern ? "on" : "off") + "\n";
    return reply.Ok();
  }
  uint64_t mask = 0;
  if (Args() == 2 && Arg(0) == "set" && ParseNumber(Arg(1), 0xFFFFFFFFull, mask)) {
    sim_.SetInputs(module, static_cast<uint32_t>(mask));
    return reply.Ok();
  }
  if (Args() == 2 && Arg(0) == "pattern" && (Arg(1) == "on" || Arg(1) == "off")) {
    sim_.SetInputPattern(module, Arg(1) == "on");
    return reply.Ok();
  }
  return Error("inputs [@A] [set MASK | pattern on|off]");
}

std::string Command::Pulse() {
  std::string error;
  size_t module = 0;
  if (!Target(module, error)) return error;
  uint64_t channel = 0, count = 1;
  if (Args() < 1 || Args() > 2 || !ParseNumber(Arg(0), 31, channel) ||
      (Args() == 2 && !ParseNumber(Arg(1), 0xFFFFFFFFull, count))) {
    return Error("pulse [@A] CHANNEL(0-31) [COUNT]");
  }
  sim_.Pulse(module, static_cast<int>(channel), static_cast<uint32_t>(count));
  return Reply{}.Ok();
}

std::string Command::Register() {
  std::string error;
  size_t module = 0;
  if (!Target(module, error)) return error;
  uint64_t reg = 0, value = 0;
  if (Args() < 1 || Args() > 2 || !ParseNumber(Arg(0), 255, reg) || (Args() == 2 && !ParseNumber(Arg(1), 255, value))) {
    return Error("reg [@A] R [V] (bytes)");
  }
  if (!ConfigRegisters::Exists(static_cast<uint8_t>(reg))) return Error("no register " + Arg(0));
  Reply reply;
  if (Args() == 1) {
    reply.lines = std::to_string(sim_.Snapshot(module).registers[reg]) + "\n";
    return reply.Ok();
  }
  uint8_t status = sim_.WriteRegister(module, static_cast<uint8_t>(reg), static_cast<uint8_t>(value));
  if (status != dqbus::msOk) return Error("refused with module status " + std::to_string(status));
  return reply.Ok();
}

std::string Command::Status() {
  std::string error;
  size_t module = 0;
  if (!Target(module, error)) return error;
  Reply reply;
  uint64_t mask = 0xFFFFFFFFull;
  if (Args() == 0) {
    uint32_t status = sim_.Snapshot(module).status;
    reply.lines = Hex32(status) + " " + StatusNames(status) + "\n";
    return reply.Ok();
  }
  if (Arg(0) == "set" && Args() == 2 && ParseNumber(Arg(1), 0xFFFFFFFFull, mask)) {
    sim_.SetStatusBits(module, static_cast<uint32_t>(mask));
    return reply.Ok();
  }
  if (Arg(0) == "clear" && (Args() == 1 || (Args() == 2 && ParseNumber(Arg(1), 0xFFFFFFFFull, mask)))) {
    sim_.ClearStatusBits(module, static_cast<uint32_t>(mask));
    return reply.Ok();
  }
  return Error("status [@A] [set MASK | clear [MASK]]");
}

std::string Command::Condition() {
  std::string error;
  size_t module = 0;
  if (!Target(module, error)) return error;
  if (Args() != 2 || (Arg(1) != "on" && Arg(1) != "off")) return Error("condition [@A] fn|err24 on|off");
  std::string name = Arg(0);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  int bit = name == "fn" ? kStatusFn : name == "err24" ? kStatusErr24 : -1;
  if (bit < 0) return Error("condition fn or err24");
  sim_.SetCondition(module, bit, Arg(1) == "on");
  return Reply{}.Ok();
}

std::string Command::Restart(bool powerCycle) {
  std::string error;
  std::vector<size_t> targets = Targets(error);
  if (!error.empty()) return error;
  uint64_t seconds = 0;
  if (powerCycle ? (Args() > 1 || (Args() == 1 && !ParseNumber(Arg(0), 100ull * 365 * 86400, seconds)))
                 : Args() != 0) {
    return Error(powerCycle ? "restart [@A] [SECONDS]" : "reset [@A]");
  }
  for (size_t index : targets) {
    if (powerCycle) {
      sim_.Restart(index, static_cast<int64_t>(seconds));
    } else {
      sim_.Reset(index);
    }
  }
  return Reply{}.Ok();
}

std::string Command::AddFault() {
  if (Args() >= 1 && Arg(0) == "clear") {
    if (Args() == 1) {
      sim_.ClearFaults();
      return Reply{}.Ok();
    }
    auto kind = Args() == 2 ? FaultKindFromName(Arg(1)) : std::nullopt;
    if (!kind) return Error("fault clear [KIND]");
    sim_.ClearFault(*kind);
    return Reply{}.Ok();
  }
  auto kind = Args() >= 1 ? FaultKindFromName(Arg(0)) : std::nullopt;
  if (!kind) return Error("fault KIND [ARG] [next N|always]; try help");
  Fault fault;
  fault.kind = *kind;
  size_t i = 1;
  uint64_t number = 0;
  bool takesArg = *kind != FaultKind::kSilence && *kind != FaultKind::kCorruptCrc && *kind != FaultKind::kStale;
  if (takesArg && i < Args() && ParseNumber(Arg(i), 0xFFFF, number)) {
    fault.arg = static_cast<int>(number);
    ++i;
  }
  if (*kind == FaultKind::kDelay && fault.arg < 0) return Error("fault delay MS");
  if ((*kind == FaultKind::kWrongAddress || *kind == FaultKind::kWrongCommand || *kind == FaultKind::kErrorStatus) &&
      fault.arg > 255) {
    return Error("the argument of " + Arg(0) + " is a byte");
  }
  if (i < Args() && Arg(i) == "always") {
    fault.remaining = -1;
    ++i;
  } else if (i + 1 < Args() && Arg(i) == "next" && ParseNumber(Arg(i + 1), 1000000, number) && number > 0) {
    fault.remaining = static_cast<int>(number);
    i += 2;
  }
  if (i != Args()) return Error("fault " + Arg(0) + ": unexpected '" + Arg(i) + "'");
  sim_.AddFault(fault);
  return Reply{}.Ok();
}

std::string Command::ShowFaults() {
  Reply reply;
  for (const auto& fault : sim_.Faults()) reply.lines += DescribeFault(fault) + "\n";
  return reply.Ok();
}

std::string Command::ShowPorts() {
  Reply reply;
  std::string pty = sim_.PtyPath();
  if (!pty.empty()) reply.lines += "pty " + pty + "\n";
  uint16_t udp = sim_.UdpPort();
  if (udp != 0) reply.lines += "udp " + std::to_string(udp) + "\n";
  std::string control = sim_.ControlPath();
  if (!control.empty()) reply.lines += "control " + control + "\n";
  return reply.Ok();
}

}  // namespace

std::string RunControlLine(Simulator& sim, const std::string& line, bool& close) {
  return Command(sim, line).Run(close);
}

const char* ControlHelpText() { return kHelp; }

}  // namespace dqsim
