#include "SetupDiff.h"

#include "SetupRegisters.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

constexpr int kChannels = 32;

std::string RateText(uint8_t code) {
  return code < kBaudCodeCount ? std::to_string(BaudRateFromCode(code)) : "code " + std::to_string(code);
}

void CompareMask(const char* prefix, const char* suffix, const uint8_t (&file)[4], const uint8_t (&module)[4],
                 const char* on, const char* off, std::vector<FieldDifference>& out) {
  for (int k = 0; k < kChannels; ++k) {
    bool a = MaskBit(file, k), b = MaskBit(module, k);
    if (a != b) out.push_back({prefix + std::to_string(k) + suffix, a ? on : off, b ? on : off});
  }
}

}  // namespace

std::vector<FieldDifference> CompareSetups(const TModuleSetup& file, const TModuleSetup& module, bool withAddress) {
  std::vector<FieldDifference> out;
  if (file.Address != module.Address) {
    out.push_back({"address", std::to_string(file.Address), std::to_string(module.Address), withAddress});
  }
  if (file.BaudCode != module.BaudCode) {
    out.push_back({"rate", RateText(file.BaudCode), RateText(module.BaudCode), withAddress});
  }
  for (int i = 0; i < dqcmd::kPulseCounterCount; ++i) {
    if (file.PulseNumber[i] != module.PulseNumber[i]) {
      out.push_back({"CNT " + std::to_string(i) + " pulse number", std::to_string(file.PulseNumber[i]),
                     std::to_string(module.PulseNumber[i])});
    }
  }
  CompareMask("DIN", " negated", file.DinNegation, module.DinNegation, "yes", "no", out);
  CompareMask("DOUT", " negated", file.DoutNegation, module.DoutNegation, "yes", "no", out);
  CompareMask("DOUT", " initial", file.DoutInitialState, module.DoutInitialState, "on", "off", out);
  return out;
}

size_t CountedDifferences(const std::vector<FieldDifference>& differences) {
  size_t count = 0;
  for (const auto& d : differences) count += d.compared ? 1 : 0;
  return count;
}

std::vector<RegisterWrite> PlanWrites(const TModuleSetup& file, const TModuleSetup& module, bool withAddress) {
  std::vector<RegisterWrite> writes;
  for (uint8_t reg : SetupRegisterOrder()) {
    if (IsAddressOrRateRegister(reg) && !withAddress) continue;
    uint8_t to = RegisterByteOf(file, reg), from = RegisterByteOf(module, reg);
    if (to != from) writes.push_back({reg, from, to});
  }
  return writes;
}

}  // namespace dqcommission
