#include "commission/ModuleReadout.h"

#include <ctime>

#include "Txxx847.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

class Reader {
 public:
  Reader(TConnectionConfig& link, uint8_t address, ModuleReadout& out) : link_(link), address_(address), out_(out) {}

  // Returns false (and notes the first failure) when the exchange failed.
  bool Exchange(uint8_t command, uint8_t subcode, uint8_t (&b)[5], const char* what) {
    if (!out_.error.empty()) return false;
    uint8_t status = 0;
    ModuleExchange(link_.InterfaceType, link_.DriverHandle, address_, command, subcode, b[0], b[1], b[2], b[3], b[4],
                   status, reply_);
    if (status == 0) return true;
    if (out_.error.empty())
      out_.error = std::string(what) + ": " + Utf8FromCp1250(DriverErrorString(link_.InterfaceType, status));
    return false;
  }

  void Register(int reg) {
    uint8_t r = static_cast<uint8_t>(reg);
    uint8_t b[5] = {0, r, r, 0, 0};
    if (!Exchange(dqcmd::kCmdReadRegister, dqcmd::kSubRegister, b, "reading the configuration")) return;
    // A reply naming another register holds no value of this one; left
    // out, the register would read as 0.
    if (b[1] == r && b[2] == r) {
      out_.registers[reg] = b[1 + dqcmd::kRegisterValueByte];
    } else if (out_.error.empty()) {
      out_.error = "reading the configuration: the reply to register " + std::to_string(reg) +
                   " named another register";
    }
  }

  // Time (sub-code) and date (sub-code + 1) into a tm; false when either failed.
  bool Stamp(uint8_t timeSub, uint8_t dateSub, std::tm& when, const char* what) {
    uint8_t t[5] = {};
    uint8_t d[5] = {};
    if (!Exchange(dqcmd::kCmdReadModule, timeSub, t, what) || !Exchange(dqcmd::kCmdReadModule, dateSub, d, what))
      return false;
    std::time_t now = std::time(nullptr);
    std::tm pc{};
    localtime_r(&now, &pc);
    when = std::tm{};
    when.tm_sec = t[1];
    when.tm_min = t[2];
    when.tm_hour = t[3];
    when.tm_mday = d[1];
    when.tm_mon = d[2] - 1;
    when.tm_year = ((pc.tm_year + 1900) & ~3) + d[3] - 1900;  // the module keeps the year within a 4-year cycle
    when.tm_isdst = -1;
    return true;
  }

 private:
  TConnectionConfig& link_;
  uint8_t address_;
  ModuleReadout& out_;
  TExchangeReply reply_{};
};

std::string StampText(const std::tm& when) {
  if (when.tm_mday == 0) return "none";
  return std::to_string(when.tm_mday) + "." + std::to_string(when.tm_mon + 1) + "." +
         std::to_string(when.tm_year + 1900) + " " + TimeText(static_cast<uint8_t>(when.tm_hour), static_cast<uint8_t>(when.tm_min), static_cast<uint8_t>(when.tm_sec));
}

}  // namespace

uint32_t ModuleReadout::Mask(uint8_t baseRegister) const {
  uint32_t mask = 0;
  for (int j = 0; j < 4; ++j) {
    auto it = registers.find(baseRegister + dqcmd::kRegIoStride * j);
    if (it != registers.end()) mask |= static_cast<uint32_t>(it->second) << (8 * j);
  }
  return mask;
}

uint16_t ModuleReadout::PulseNumber(int counter) const {
  auto low = registers.find(dqcmd::PulseRegisterLow(counter));
  auto high = registers.find(dqcmd::PulseRegisterHigh(counter));
  return static_cast<uint16_t>((low != registers.end() ? low->second : 0) |
                               (high != registers.end() ? high->second : 0) << 8);
}

ModuleReadout ReadModule(TConnectionConfig& link, uint8_t address) {
  ModuleReadout out;
  Reader reader(link, address, out);
  for (int reg = 0; reg < 2 * dqcmd::kPulseCounterCount; ++reg) reader.Register(reg);
  for (int reg = dqcmd::kRegDoutInitialBase; reg <= dqcmd::kRegIoLast; ++reg) reader.Register(reg);
  reader.Register(dqcmd::kRegBaudCode);
  reader.Register(dqcmd::kRegAddress);

  if (reader.Stamp(dqcmd::kSubTime, dqcmd::kSubDate, out.moduleClock, "reading the module clock")) {
    std::time_t pcNow = std::time(nullptr);
    localtime_r(&pcNow, &out.pcClock);
    std::tm module = out.moduleClock;
    out.clockDifference = static_cast<long long>(std::mktime(&module)) - static_cast<long long>(pcNow);
    out.clockRead = true;
  }
  std::tm start{};
  std::tm end{};
  if (reader.Stamp(dqcmd::kSubFailureStartTime, dqcmd::kSubFailureStartDate, start, "reading the power failure") &&
      reader.Stamp(dqcmd::kSubFailureEndTime, dqcmd::kSubFailureEndDate, end, "reading the power failure")) {
    out.powerFailStart = StampText(start);
    out.powerFailEnd = StampText(end);
    out.powerFailRead = true;
  }
  uint8_t b[5] = {};
  if (reader.Exchange(dqcmd::kCmdReadModule, dqcmd::kSubStatusRegister, b, "reading the status register")) {
    out.statusRegister = static_cast<uint32_t>(b[1]) | static_cast<uint32_t>(b[2]) << 8 |
                         static_cast<uint32_t>(b[3]) << 16 | static_cast<uint32_t>(b[4]) << 24;
    out.statusRead = true;
  }
  return out;
}

}  // namespace dqcommission
