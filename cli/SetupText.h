// A module configuration and its differences as terminal lines and JSON,
// shared by the commands that show them.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "Dekl.h"
#include "SetupDiff.h"

namespace dqcli {

// "DIN3 DIN17", or "none".
std::string ChannelList(const char* prefix, const uint8_t (&mask)[4]);

std::vector<std::string> SetupLines(const TModuleSetup& setup);
nlohmann::json SetupJson(const TModuleSetup& setup);

// "  DIN5 negated: file yes, module no" per difference; address and rate
// not compared are marked as information.
std::vector<std::string> DifferenceLines(const std::vector<dqcommission::FieldDifference>& differences);
nlohmann::json DifferencesJson(const std::vector<dqcommission::FieldDifference>& differences);

}  // namespace dqcli
