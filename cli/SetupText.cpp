#include "SetupText.h"

#include "SetupRegisters.h"
#include "core/ModuleCommands.h"

namespace dqcli {

namespace {

constexpr int kChannels = 32;

std::vector<std::string> Channels(const char* prefix, const uint8_t (&mask)[4]) {
  std::vector<std::string> names;
  for (int k = 0; k < kChannels; ++k) {
    if (dqcommission::MaskBit(mask, k)) names.push_back(prefix + std::to_string(k));
  }
  return names;
}

std::string RateText(uint8_t code) {
  return code < kBaudCodeCount ? std::to_string(BaudRateFromCode(code)) + " Bd (code " + std::to_string(code) + ")"
                               : "code " + std::to_string(code) + " (no rate)";
}

}  // namespace

std::string ChannelList(const char* prefix, const uint8_t (&mask)[4]) {
  std::string text;
  for (const auto& name : Channels(prefix, mask)) text += (text.empty() ? "" : " ") + name;
  return text.empty() ? "none" : text;
}

std::vector<std::string> SetupLines(const TModuleSetup& s) {
  std::vector<std::string> lines = {
      "  address register      " + std::to_string(s.Address),
      "  rate register         " + RateText(s.BaudCode),
  };
  for (int i = 0; i < dqcmd::kPulseCounterCount; ++i) {
    lines.push_back("  CNT " + std::to_string(i) + " pulse number    " + std::to_string(s.PulseNumber[i]));
  }
  lines.push_back("  DIN negated           " + ChannelList("DIN", s.DinNegation));
  lines.push_back("  DOUT negated          " + ChannelList("DOUT", s.DoutNegation));
  lines.push_back("  DOUT initial on       " + ChannelList("DOUT", s.DoutInitialState));
  return lines;
}

nlohmann::json SetupJson(const TModuleSetup& s) {
  nlohmann::json pulses = nlohmann::json::array();
  for (int i = 0; i < dqcmd::kPulseCounterCount; ++i) pulses.push_back(s.PulseNumber[i]);
  nlohmann::json json = {
      {"address", s.Address},
      {"baudCode", s.BaudCode},
      {"pulseNumbers", pulses},
      {"dinNegated", Channels("DIN", s.DinNegation)},
      {"doutNegated", Channels("DOUT", s.DoutNegation)},
      {"doutInitialOn", Channels("DOUT", s.DoutInitialState)},
  };
  if (s.BaudCode < kBaudCodeCount) json["rate"] = BaudRateFromCode(s.BaudCode);
  return json;
}

std::vector<std::string> DifferenceLines(const std::vector<dqcommission::FieldDifference>& differences) {
  std::vector<std::string> lines;
  for (const auto& d : differences) {
    lines.push_back("  " + d.field + ": file " + d.fileValue + ", module " + d.moduleValue +
                    (d.compared ? "" : "  (not compared; --with-address compares it)"));
  }
  return lines;
}

nlohmann::json DifferencesJson(const std::vector<dqcommission::FieldDifference>& differences) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& d : differences) {
    list.push_back({{"field", d.field}, {"file", d.fileValue}, {"module", d.moduleValue}, {"compared", d.compared}});
  }
  return list;
}

}  // namespace dqcli
