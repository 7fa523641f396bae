#include "sim/control/ControlCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

#include "core/BaudRates.h"
#include "sim/control/SimControl.h"
#include "sim/model/Numbers.h"

namespace dqsim {

namespace {

class Command;

// One control command: its name, what "help" says of it, what a wrong
// argument list is answered with, and what runs it.
struct CommandEntry {
  struct HelpLine {
    const char* synopsis;  // empty: a further line of the one above
    const char* text;
  };
  const char* name;
  std::vector<HelpLine> help;
  // The answer to arguments the command does not take ("error: " before
  // it); null: "<name> takes no arguments".
  const char* usage;
  std::string (Command::*run)(bool& close);
};

const std::vector<CommandEntry>& Commands();

// A successful answer: its lines, then "ok".
std::string Ok(const std::string& lines = {}) { return lines + "ok\n"; }

std::string Error(const std::string& why) { return "error: " + why + "\n"; }

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
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
  Command(SimControl& sim, const std::string& line) : sim_(sim) {
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

  std::string Run(bool& close) {
    if (words_.empty()) return Error("empty command; try help");
    for (const CommandEntry& entry : Commands()) {
      if (words_[0] != entry.name) continue;
      entry_ = &entry;
      return (this->*entry.run)(close);
    }
    return Error("unknown command '" + words_[0] + "'; try help");
  }

  std::string Help(bool&) { return Ok(ControlHelpText()); }
  std::string Show(bool&);
  std::string Stats(bool&);
  std::string Ports(bool&);
  std::string Inputs(bool&);
  std::string Pulse(bool&);
  std::string Outputs(bool&);
  std::string Counters(bool&);
  std::string Register(bool&);
  std::string Status(bool&);
  std::string Condition(bool&);
  std::string Clock(bool&);
  std::string Restart(bool&) { return PowerUp(true); }
  std::string Reset(bool&) { return PowerUp(false); }
  std::string AddFault(bool&);
  std::string Drop(bool&);
  std::string ShowFaults(bool&);
  std::string Disappear(bool&);
  std::string Appear(bool&);
  std::string Save(bool&);
  std::string Quit(bool& close);
  std::string Shutdown(bool& close);

 private:
  size_t Args() const { return words_.size() - 1; }
  const std::string& Arg(size_t i) const { return words_[i + 1]; }
  // Arguments "N [M]": N up to maxFirst, and M up to maxSecond when given
  // (`second` keeps its default otherwise).
  template <class T, class U>
  bool NumberAndOptionalNumber(uint64_t maxFirst, T& first, uint64_t maxSecond, U& second) const {
    return Args() >= 1 && Args() <= 2 && ParseUnsigned(Arg(0), maxFirst, first) &&
           (Args() == 1 || ParseUnsigned(Arg(1), maxSecond, second));
  }
  // The command's answer to arguments it does not take.
  std::string Usage() const {
    return Error(entry_->usage != nullptr ? entry_->usage : std::string(entry_->name) + " takes no arguments");
  }
  // Module named by @A, else the first; false (with error set) when there is none.
  bool Target(size_t& index, std::string& error) const;
  // The module named by @A, else every module; empty (with error set) when @A names none.
  std::vector<size_t> Targets(std::string& error) const;
  // Runs `body` with the module named by @A (else the first), or answers
  // why @A names none.
  template <class Body>
  std::string OnTarget(Body body) const {
    std::string error;
    size_t module = 0;
    if (!Target(module, error)) return error;
    return body(module);
  }
  // Runs `body` with the modules `Targets` gives, or answers why @A names none.
  template <class Body>
  std::string OnTargets(Body body) const {
    std::string error;
    std::vector<size_t> targets = Targets(error);
    if (!error.empty()) return error;
    return body(targets);
  }
  std::string PowerUp(bool powerCycle);

  SimControl& sim_;
  const CommandEntry* entry_ = nullptr;
  std::vector<std::string> words_;
  std::string selector_;
  bool hasSelector_ = false;
};

const std::vector<CommandEntry>& Commands() {
  static const std::vector<CommandEntry> kCommands = {
      {"help", {{"help", "this list"}}, nullptr, &Command::Help},
      {"show", {{"show [@A]", "state of every module (or of the one at address A)"}}, nullptr, &Command::Show},
      {"stats", {{"stats", "traffic counters"}}, nullptr, &Command::Stats},
      {"ports", {{"ports", "where the simulator can be reached"}}, nullptr, &Command::Ports},
      {"inputs",
       {{"inputs [@A]", "inputs as reported, physical inputs, pattern"},
        {"inputs [@A] set MASK", "set the physical inputs (stops the pattern)"},
        {"inputs [@A] pattern on|off", "the moving input pattern"}},
       "inputs [@A] [set MASK | pattern on|off]",
       &Command::Inputs},
      {"pulse",
       {{"pulse [@A] CHANNEL [COUNT]", "COUNT rising edges (default 1) on input DIN CHANNEL"}},
       "pulse [@A] CHANNEL(0-31) [COUNT]",
       &Command::Pulse},
      {"outputs",
       {{"outputs [@A]", "outputs as written and as driven (negation applied)"}},
       nullptr,
       &Command::Outputs},
      {"counters", {{"counters [@A]", "run state and the 32 counters"}}, nullptr, &Command::Counters},
      {"reg",
       {{"reg [@A] R [V]", "read configuration register R, or write V into it"}},
       "reg [@A] R [V] (bytes)",
       &Command::Register},
      {"status",
       {{"status [@A]", "status register"},
        {"status [@A] set MASK | clear [MASK]", "set or clear status bits (clear: all)"}},
       "status [@A] [set MASK | clear [MASK]]",
       &Command::Status},
      {"condition",
       {{"condition [@A] fn|err24 on|off", "lasting fault: function fault, 24 V supply fault"}},
       "condition [@A] fn|err24 on|off",
       &Command::Condition},
      {"clock", {{"clock [@A]", "module time and the recorded power failure"}}, nullptr, &Command::Clock},
      {"restart",
       {{"restart [@A] [SECONDS]", "power cycle (every module unless @A), off for SECONDS"}},
       "restart [@A] [SECONDS]",
       &Command::Restart},
      {"reset", {{"reset [@A]", "reset without power loss"}}, "reset [@A]", &Command::Reset},
      {"fault",
       {{"fault KIND [ARG] [next N|always]", "inject a fault into the next N replies (default 1)"},
        {"", "or into every reply; KIND: silence, corrupt-crc,"},
        {"", "wrong-address [A], wrong-command [C], garbage [BYTES],"},
        {"", "truncate [BYTES], oversize-count [COUNT],"},
        {"", "oversize-extra [BYTES], delay MS, status [S],"},
        {"", "duplicate [MS], stale; refuse-write R and lose-write R"},
        {"", "act on writes of register R only"},
        {"fault clear [KIND]", "remove every fault, or those of one kind"}},
       "fault KIND [ARG] [next N|always]; try help",
       &Command::AddFault},
      {"drop", {{"drop N", "swallow the next N replies (fault silence next N)"}}, "drop N (N at least 1)",
       &Command::Drop},
      {"faults", {{"faults", "active faults"}}, nullptr, &Command::ShowFaults},
      {"disappear",
       {{"disappear [pty|serial|udp|all]", "close lines as if unplugged"}},
       "disappear [pty|serial|udp|all]",
       &Command::Disappear},
      {"appear", {{"appear", "open them again (a new pseudo-terminal path)"}}, nullptr, &Command::Appear},
      {"save", {{"save", "write the state file now"}}, nullptr, &Command::Save},
      {"quit", {{"quit", "end this control connection"}}, nullptr, &Command::Quit},
      {"shutdown", {{"shutdown", "end the simulator"}}, nullptr, &Command::Shutdown},
  };
  return kCommands;
}

bool Command::Target(size_t& index, std::string& error) const {
  if (!hasSelector_) {
    index = 0;
    return true;
  }
  uint64_t address = 0;
  if (!ParseUnsigned(selector_, 255, address)) {
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

std::string Command::Show(bool&) {
  return OnTargets([&](const std::vector<size_t>& targets) {
    std::string out;
    for (size_t index : targets) {
      ModuleSnapshot s = sim_.Snapshot(index);
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
    out += "faults:";
    if (faults.empty()) out += " none";
    for (const auto& fault : faults) out += " [" + DescribeFault(fault) + "]";
    out += "\n";
    return Ok(out);
  });
}

std::string Command::Stats(bool&) {
  SimStats s = sim_.Stats();
  return Ok("requests " + std::to_string(s.requests) + " answered " + std::to_string(s.answered) + " sent " +
            std::to_string(s.sent) + " silenced " + std::to_string(s.silenced) + " other-address " +
            std::to_string(s.otherAddress) + " wrong-baud " + std::to_string(s.wrongBaud) + " bad-datagrams " +
            std::to_string(s.badDatagrams) + " noise-bytes " + std::to_string(s.noiseBytes) + "\n");
}

std::string Command::Ports(bool&) {
  std::string lines;
  std::string pty = sim_.PtyPath();
  if (!pty.empty()) lines += "pty " + pty + "\n";
  uint16_t udp = sim_.UdpPort();
  if (udp != 0) lines += "udp " + std::to_string(udp) + "\n";
  std::string control = sim_.ControlPath();
  if (!control.empty()) lines += "control " + control + "\n";
  return Ok(lines);
}

std::string Command::Inputs(bool&) {
  return OnTarget([&](size_t module) {
    if (Args() == 0) {
      ModuleSnapshot s = sim_.Snapshot(module);
      return Ok(Hex32(s.inputs) + " physical " + Hex32(s.physicalInputs) + " pattern " +
                (s.inputPattern ? "on" : "off") + "\n");
    }
    uint32_t mask = 0;
    if (Args() == 2 && Arg(0) == "set" && ParseUnsigned(Arg(1), 0xFFFFFFFFull, mask)) {
      sim_.SetInputs(module, mask);
      return Ok();
    }
    if (Args() == 2 && Arg(0) == "pattern" && (Arg(1) == "on" || Arg(1) == "off")) {
      sim_.SetInputPattern(module, Arg(1) == "on");
      return Ok();
    }
    return Usage();
  });
}

std::string Command::Pulse(bool&) {
  return OnTarget([&](size_t module) {
    int channel = 0;
    uint32_t count = 1;
    if (!NumberAndOptionalNumber(31, channel, 0xFFFFFFFFull, count)) return Usage();
    sim_.Pulse(module, channel, count);
    return Ok();
  });
}

std::string Command::Outputs(bool&) {
  if (Args() != 0) return Usage();
  return OnTarget([&](size_t module) {
    ModuleSnapshot s = sim_.Snapshot(module);
    return Ok(Hex32(s.outputs) + " physical " + Hex32(s.physicalOutputs) + "\n");
  });
}

std::string Command::Counters(bool&) {
  if (Args() != 0) return Usage();
  return OnTarget([&](size_t module) {
    ModuleSnapshot s = sim_.Snapshot(module);
    std::string lines = s.countersRunning ? "running" : "stopped";
    for (uint32_t value : s.counters) lines += " " + std::to_string(value);
    lines += "\n";
    return Ok(lines);
  });
}

std::string Command::Register(bool&) {
  return OnTarget([&](size_t module) {
    uint8_t reg = 0, value = 0;
    if (!NumberAndOptionalNumber(255, reg, 255, value)) return Usage();
    if (!ConfigRegisters::Exists(reg)) return Error("no register " + Arg(0));
    if (Args() == 1) return Ok(std::to_string(sim_.Snapshot(module).registers[reg]) + "\n");
    uint8_t status = sim_.WriteRegister(module, reg, value);
    if (status != dqbus::msOk) return Error("refused with module status " + std::to_string(status));
    return Ok();
  });
}

std::string Command::Status(bool&) {
  return OnTarget([&](size_t module) {
    uint32_t mask = 0xFFFFFFFFu;
    if (Args() == 0) {
      uint32_t status = sim_.Snapshot(module).status;
      return Ok(Hex32(status) + " " + StatusNames(status) + "\n");
    }
    if (Arg(0) == "set" && Args() == 2 && ParseUnsigned(Arg(1), 0xFFFFFFFFull, mask)) {
      sim_.SetStatusBits(module, mask);
      return Ok();
    }
    if (Arg(0) == "clear" && (Args() == 1 || (Args() == 2 && ParseUnsigned(Arg(1), 0xFFFFFFFFull, mask)))) {
      sim_.ClearStatusBits(module, mask);
      return Ok();
    }
    return Usage();
  });
}

std::string Command::Condition(bool&) {
  return OnTarget([&](size_t module) {
    if (Args() != 2 || (Arg(1) != "on" && Arg(1) != "off")) return Usage();
    std::string name = Arg(0);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    int bit = name == "fn" ? kStatusFn : name == "err24" ? kStatusErr24 : -1;
    if (bit < 0) return Error("condition fn or err24");
    sim_.SetCondition(module, bit, Arg(1) == "on");
    return Ok();
  });
}

std::string Command::Clock(bool&) {
  if (Args() != 0) return Usage();
  return OnTarget([&](size_t module) {
    ModuleSnapshot s = sim_.Snapshot(module);
    return Ok(DateTimeText(s.clock) + " offset " + std::to_string(s.clockOffset) + "\n" + "power-fail " +
              DateTimeText(s.powerFail.start) + " .. " + DateTimeText(s.powerFail.end) + "\n");
  });
}

std::string Command::PowerUp(bool powerCycle) {
  return OnTargets([&](const std::vector<size_t>& targets) {
    int64_t seconds = 0;
    if (powerCycle ? (Args() > 1 || (Args() == 1 && !ParseUnsigned(Arg(0), 100ull * 365 * 86400, seconds)))
                   : Args() != 0) {
      return Usage();
    }
    for (size_t index : targets) {
      if (powerCycle) {
        sim_.Restart(index, seconds);
      } else {
        sim_.Reset(index);
      }
    }
    return Ok();
  });
}

std::string Command::AddFault(bool&) {
  if (Args() >= 1 && Arg(0) == "clear") {
    if (Args() == 1) {
      sim_.ClearFaults();
      return Ok();
    }
    auto kind = Args() == 2 ? FaultKindFromName(Arg(1)) : std::nullopt;
    if (!kind) return Error("fault clear [KIND]");
    sim_.ClearFault(*kind);
    return Ok();
  }
  auto kind = Args() >= 1 ? FaultKindFromName(Arg(0)) : std::nullopt;
  if (!kind) return Usage();
  Fault fault;
  fault.kind = *kind;
  size_t i = 1;
  int number = 0;
  bool takesArg = *kind != FaultKind::kSilence && *kind != FaultKind::kCorruptCrc && *kind != FaultKind::kStale;
  if (takesArg && i < Args() && ParseUnsigned(Arg(i), 0xFFFF, number)) {
    fault.arg = number;
    ++i;
  }
  if (*kind == FaultKind::kDelay && fault.arg < 0) return Error("fault delay MS");
  if ((*kind == FaultKind::kRefuseWrite || *kind == FaultKind::kLoseWrite) && fault.arg < 0) {
    return Error("fault " + Arg(0) + " REGISTER");
  }
  if ((*kind == FaultKind::kWrongAddress || *kind == FaultKind::kWrongCommand || *kind == FaultKind::kErrorStatus ||
       *kind == FaultKind::kRefuseWrite || *kind == FaultKind::kLoseWrite) &&
      fault.arg > 255) {
    return Error("the argument of " + Arg(0) + " is a byte");
  }
  if (i < Args() && Arg(i) == "always") {
    fault.remaining = -1;
    ++i;
  } else if (i + 1 < Args() && Arg(i) == "next" && ParseUnsigned(Arg(i + 1), 1000000, number) && number > 0) {
    fault.remaining = number;
    i += 2;
  }
  if (i != Args()) return Error("fault " + Arg(0) + ": unexpected '" + Arg(i) + "'");
  sim_.AddFault(fault);
  return Ok();
}

std::string Command::Drop(bool&) {
  int n = 0;
  if (Args() != 1 || !ParseUnsigned(Arg(0), 1000000, n) || n == 0) return Usage();
  sim_.AddFault(Fault{FaultKind::kSilence, -1, n});
  return Ok();
}

std::string Command::ShowFaults(bool&) {
  std::string lines;
  for (const auto& fault : sim_.Faults()) lines += DescribeFault(fault) + "\n";
  return Ok(lines);
}

std::string Command::Disappear(bool&) {
  if (Args() > 1) return Usage();
  std::string error;
  if (!sim_.Disappear(Args() ? Arg(0) : "all", &error)) return Error(error);
  return Ok();
}

std::string Command::Appear(bool& close) {
  std::string error;
  if (!sim_.Appear(&error)) return Error(error);
  return Ports(close);
}

std::string Command::Save(bool&) {
  std::string error;
  if (!sim_.SaveState(&error)) return Error(error);
  return Ok();
}

std::string Command::Quit(bool& close) {
  close = true;
  return Ok();
}

std::string Command::Shutdown(bool& close) {
  sim_.RequestStop();
  close = true;
  return Ok();
}

}  // namespace

std::string RunControlLine(SimControl& sim, const std::string& line, bool& close) {
  return Command(sim, line).Run(close);
}

const std::string& ControlHelpText() {
  // The synopses in one column, the help lines beside them.
  static const std::string kHelp = [] {
    constexpr size_t kColumn = 37;
    std::string text;
    for (const CommandEntry& entry : Commands()) {
      for (const auto& line : entry.help) {
        std::string synopsis = line.synopsis;
        text += synopsis + std::string(synopsis.size() < kColumn ? kColumn - synopsis.size() : 1, ' ') + line.text +
                "\n";
      }
    }
    return text + "Numbers are decimal or hexadecimal after 0x.\n";
  }();
  return kHelp;
}

}  // namespace dqsim
