// `backup FILE`: the module's whole configuration into a backup file.
#include <ctime>

#include "BackupFiles.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "LinkSession.h"
#include "SetupRegisters.h"
#include "SetupText.h"
#include "Terminal.h"

namespace dqcli {

namespace {

struct BackupOptions {
  std::string file;
};

std::string Now() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

int RunBackup(const CommonOptions& options, const BackupOptions& backupOptions) {
  ConnectedModule connected;
  if (const int code = ConnectSingle(options, connected); code != kExitOk) return code;
  const dqcommission::ModuleAccess module = connected.Access();
  const uint8_t address = connected.address;
  dqcommission::ConfigBackup backup;
  dqcommission::SetupRead read = dqcommission::ReadSetup(module, backup.setup);
  if (read.status != 0) {
    PrintError("reading register " + dqcommission::RegisterName(read.failedReg) + " failed: " +
               module.StatusText(read.status) + "; no file written");
    return kExitLink;
  }
  if (backup.setup.BaudCode >= kBaudCodeCount) {
    PrintError("the rate register holds " + std::to_string(backup.setup.BaudCode) +
               ", which is no baud-rate code (0-8); no file written");
    return kExitDiffers;
  }
  backup.typeName = dqcommission::ModuleTypeText(connected.identity.TypeName);
  backup.version = dqcommission::ModuleTypeText(connected.identity.Version);
  backup.readOver = connected.session->Describe() + ", address " + std::to_string(address);
  backup.date = Now();

  std::string error;
  if (!SaveBackup(backupOptions.file, backup, error)) {
    PrintError(error);
    return kExitUsage;
  }
  if (options.json) {
    PrintJson({{"file", backupOptions.file},
               {"module", {{"type", backup.typeName}, {"version", backup.version}, {"address", address}}},
               {"link", connected.session->Describe()},
               {"date", backup.date},
               {"configuration", SetupJson(backup.setup)}});
  } else {
    PrintLine("Backed up " + backup.typeName + " v." + backup.version + " at address " + std::to_string(address) +
              " into " + backupOptions.file);
  }
  return kExitOk;
}

}  // namespace

void AddBackupCommand(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<BackupOptions>();
  CLI::App* command = app.add_subcommand("backup", "Save the module's whole configuration into FILE");
  command->add_option("FILE", options->file, "backup file to write (docs/backup-format.md)")->required();
  AddCommonOptions(*command, context.common);
  command->callback([&context, options] { context.exitCode = RunBackup(context.common, *options); });
}

}  // namespace dqcli
