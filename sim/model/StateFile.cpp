#include "sim/model/StateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/AtomicFile.h"
#include "core/BaudRates.h"
#include "sim/model/Numbers.h"

namespace dqsim {

namespace {

constexpr const char* kMagic = "dq7184-sim-state";
constexpr int kVersion = 1;

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

}  // namespace

std::string FormatState(const SimState& state) {
  std::ostringstream out;
  out << "# dq7184-sim non-volatile state; the simulator rewrites this file\n";
  out << kMagic << " " << kVersion << "\n";
  out << "last-running " << state.lastRunning << "\n";
  for (const auto& m : state.modules) {
    const ConfigRegisters& r = m.registers;
    out << "module\n";
    out << "address " << static_cast<int>(r.Address()) << "\n";
    out << "baud-code " << static_cast<int>(r.BaudCode()) << "\n";
    out << "pulse-numbers";
    for (int i = 0; i < 4; ++i) out << " " << r.PulseNumber(i);
    out << "\n";
    out << "din-negation " << Hex32(r.DinNegation()) << "\n";
    out << "dout-negation " << Hex32(r.DoutNegation()) << "\n";
    out << "dout-initial " << Hex32(r.DoutInitialState()) << "\n";
    out << "clock-offset " << m.clockOffset << "\n";
    out << "power-fail " << m.powerFail.start << " " << m.powerFail.end << "\n";
  }
  return out.str();
}

bool ParseState(const std::string& text, SimState& state, std::string* error) {
  SimState parsed;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  bool sawMagic = false;
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = "line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty() || w[0][0] == '#') continue;
    const std::string& key = w[0];
    int64_t a = 0, b = 0;
    if (!sawMagic) {
      if (key != kMagic || w.size() != 2 || !ParseNumber(w[1], kVersion, kVersion, a)) {
        return fail("not a dq7184-sim state file of version 1");
      }
      sawMagic = true;
      continue;
    }
    if (key == "last-running") {
      if (w.size() != 2 || !ParseNumber(w[1], 0, INT64_MAX, a)) return fail("bad last-running");
      parsed.lastRunning = a;
      continue;
    }
    if (key == "module") {
      if (w.size() != 1) return fail("'module' takes no value");
      parsed.modules.emplace_back();
      continue;
    }
    if (parsed.modules.empty()) return fail("'" + key + "' before the first 'module'");
    ModuleState& m = parsed.modules.back();
    ConfigRegisters& r = m.registers;
    if (key == "address") {
      if (w.size() != 2 || !ParseNumber(w[1], 0, 255, a)) return fail("address must be 0-255");
      r.Write(dqcmd::kRegAddress, static_cast<uint8_t>(a));
    } else if (key == "baud-code") {
      if (w.size() != 2 || !ParseNumber(w[1], 0, dqcore::kBaudCodeCount - 1, a)) return fail("baud-code must be 0-8");
      r.Write(dqcmd::kRegBaudCode, static_cast<uint8_t>(a));
    } else if (key == "pulse-numbers") {
      if (w.size() != 5) return fail("pulse-numbers takes four values");
      for (int i = 0; i < 4; ++i) {
        if (!ParseNumber(w[1 + i], 0, 65535, a)) return fail("pulse numbers must be 0-65535");
        r.SetPulseNumber(i, static_cast<uint16_t>(a));
      }
    } else if (key == "din-negation" || key == "dout-negation" || key == "dout-initial") {
      if (w.size() != 2 || !ParseNumber(w[1], 0, 0xFFFFFFFFll, a)) return fail(key + " must be a 32-bit mask");
      uint32_t mask = static_cast<uint32_t>(a);
      if (key == "din-negation") r.SetDinNegation(mask);
      if (key == "dout-negation") r.SetDoutNegation(mask);
      if (key == "dout-initial") r.SetDoutInitialState(mask);
    } else if (key == "clock-offset") {
      if (w.size() != 2 || !ParseNumber(w[1], -(int64_t{1} << 40), int64_t{1} << 40, a)) {
        return fail("bad clock-offset");
      }
      m.clockOffset = a;
    } else if (key == "power-fail") {
      if (w.size() != 3 || !ParseNumber(w[1], 0, INT64_MAX, a) || !ParseNumber(w[2], 0, INT64_MAX, b)) {
        return fail("power-fail takes start and end seconds");
      }
      m.powerFail.start = a;
      m.powerFail.end = b;
    } else {
      return fail("unknown key '" + key + "'");
    }
  }
  if (!sawMagic) {
    lineNo = 0;
    return fail("empty state file");
  }
  state = std::move(parsed);
  return true;
}

bool LoadStateFile(const std::string& path, SimState& state, bool& missing, std::string* error) {
  std::string text;
  const int readError = dqcore::ReadFileBytes(path, text);
  missing = readError == ENOENT;
  if (readError != 0) {
    if (error != nullptr) *error = "cannot read " + path + ": " + std::strerror(readError);
    return false;
  }
  if (!ParseState(text, state, error)) {
    if (error != nullptr) *error = path + ": " + *error;
    return false;
  }
  return true;
}

bool SaveStateFile(const std::string& path, const SimState& state, std::string* error) {
  const dqcore::SaveResult saved = dqcore::ReplaceFileAtomically(path, FormatState(state));
  if (!saved.Ok() && error != nullptr) *error = "cannot write " + saved.target + ": " + std::strerror(saved.error);
  return saved.Ok();
}

}  // namespace dqsim
