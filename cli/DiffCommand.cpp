// `diff FILE`: every field in which the module differs from a backup file.
#include "BackupFiles.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "LinkSession.h"
#include "SetupRegisters.h"
#include "SetupText.h"
#include "Terminal.h"

namespace dqcli {

namespace {

struct DiffOptions {
  std::string file;
  bool withAddress = false;
};

int RunDiff(const CommonOptions& options, const DiffOptions& diffOptions) {
  dqcommission::ConfigBackup backup;
  std::string error;
  if (!LoadBackup(diffOptions.file, backup, error)) {
    PrintError(error);
    return kExitUsage;
  }
  ConnectedModule connected;
  if (const int code = ConnectSingle(options, connected); code != kExitOk) return code;
  const dqcommission::ModuleAccess module = connected.Access();
  const uint8_t address = connected.address;
  TModuleSetup setup{};
  dqcommission::SetupRead read = dqcommission::ReadSetup(module, setup);
  if (read.status != 0) {
    PrintError("reading register " + dqcommission::RegisterName(read.failedReg) + " failed: " +
               module.StatusText(read.status));
    return kExitLink;
  }
  const std::string type = dqcommission::ModuleTypeText(connected.identity.TypeName);
  const bool sameType = type == backup.typeName;
  auto differences = dqcommission::CompareSetups(backup.setup, setup, diffOptions.withAddress);
  const size_t counted = dqcommission::CountedDifferences(differences);
  const int result = counted == 0 && sameType ? kExitOk : kExitDiffers;

  if (options.json) {
    PrintJson({{"file", diffOptions.file},
               {"module", {{"type", type}, {"address", address}}},
               {"fileType", backup.typeName},
               {"differences", DifferencesJson(differences)},
               {"matching", result == kExitOk}});
    return result;
  }
  if (!sameType) PrintLine("The file is for a " + backup.typeName + "; this module is a " + type + ".");
  if (counted == 0 && sameType) {
    PrintLine("The module at address " + std::to_string(address) + " matches " + diffOptions.file + ".");
  } else if (counted == 0) {
    PrintLine("Its registers hold the values of " + diffOptions.file + ", but it is another module type.");
  } else {
    PrintLine(std::to_string(counted) + (counted == 1 ? " field differs" : " fields differ") +
              " between " + diffOptions.file + " and the module at address " + std::to_string(address) + ":");
  }
  for (const auto& line : DifferenceLines(differences)) PrintLine(line);
  return result;
}

}  // namespace

void AddDiffCommand(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<DiffOptions>();
  CLI::App* command = app.add_subcommand(
      "diff", "List every field in which the module differs from FILE (exit 0 when none, 1 when some)");
  command->add_option("FILE", options->file, "backup file to compare with")->required();
  command->add_flag("--with-address", options->withAddress,
                    "compare the address and rate registers too (otherwise shown for information)");
  AddCommonOptions(*command, context.common);
  command->callback([&context, options] { context.exitCode = RunDiff(context.common, *options); });
}

}  // namespace dqcli
