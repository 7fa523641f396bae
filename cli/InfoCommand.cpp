// `info`: one page about the module.
#include <cstdio>

#include "BackupFile.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "LinkSession.h"
#include "ModuleInfo.h"
#include "SetupText.h"
#include "Terminal.h"

namespace dqcli {

namespace {

constexpr int kStatusBits = 32;

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

int RunInfo(const CommonOptions& options) {
  ConnectedModule connected;
  if (const int code = ConnectSingle(options, connected); code != kExitOk) return code;
  const dqcommission::ModuleAccess module = connected.Access();
  const uint8_t address = connected.address;
  dqcommission::ModuleInfo info;
  dqcommission::InfoRead read = dqcommission::ReadModuleInfo(module, info);
  if (read.status != 0) {
    PrintError("reading " + read.item + " failed: " + module.StatusText(read.status));
    return kExitLink;
  }
  const std::string type = dqcommission::ModuleTypeText(connected.identity.TypeName);
  const std::string version = dqcommission::ModuleTypeText(connected.identity.Version);

  nlohmann::json named = nlohmann::json::object();
  std::string bitsLine, otherBits;
  for (int bit = 0; bit < kStatusBits; ++bit) {
    bool set = (info.statusRegister >> bit) & 1;
    if (const char* name = dqcommission::StatusBitName(bit)) {
      named[name] = set;
      bitsLine += std::string(bitsLine.empty() ? "" : "  ") + name + " " + (set ? "1" : "0");
    } else if (set) {
      otherBits += (otherBits.empty() ? "bit " : ", bit ") + std::to_string(bit);
    }
  }

  if (options.json) {
    nlohmann::json json = {
        {"module", {{"type", type}, {"version", version}, {"address", address}}},
        {"link", connected.session->Describe()},
        {"configuration", SetupJson(info.setup)},
        {"clock", {{"time", info.time}, {"date", info.date}}},
        {"powerFailure", info.powerFailRecorded
                             ? nlohmann::json{{"start", info.failStart}, {"end", info.failEnd}}
                             : nlohmann::json()},
        {"statusRegister", {{"value", info.statusRegister}, {"named", named}}},
    };
    PrintJson(json);
    return kExitOk;
  }
  PrintLine("Module          " + type + " v." + version + " at address " + std::to_string(address));
  PrintLine("Link            " + connected.session->Describe());
  PrintLine("Configuration");
  for (const auto& line : SetupLines(info.setup)) PrintLine(line);
  PrintLine("Clock           " + info.time + "  " + info.date);
  PrintLine("Power failure   " + (info.powerFailRecorded ? "from " + info.failStart + " to " + info.failEnd
                                                        : std::string("none recorded")));
  PrintLine("Status register " + Hex32(info.statusRegister));
  PrintLine("  " + bitsLine + (otherBits.empty() ? "" : "; also set: " + otherBits));
  return kExitOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, CommandContext& context) {
  CLI::App* command = app.add_subcommand(
      "info", "One page about the module: identification, configuration, clock and power failure, status register");
  AddCommonOptions(*command, context.common);
  command->callback([&context] { context.exitCode = RunInfo(context.common); });
}

}  // namespace dqcli
