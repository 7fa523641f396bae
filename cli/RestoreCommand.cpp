// `restore FILE`: writes the registers in which a module differs from a
// backup file, each followed by its read-back; to one module or, with
// several addresses, to each in turn.
#include <cstdio>

#include "BackupFiles.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "Interrupt.h"
#include "LinkSession.h"
#include "Restore.h"
#include "RestoreReport.h"
#include "SetupRegisters.h"
#include "SetupText.h"
#include "Terminal.h"
#include "core/ErrorCodes.h"

namespace dqcli {

namespace {

struct RestoreOptions {
  std::string file;
  bool withAddress = false;
  bool yes = false;
  bool dryRun = false;
  bool force = false;
};

class RestoreRun {
 public:
  RestoreRun(const CommonOptions& common, const RestoreOptions& options, const dqcommission::ConfigBackup& backup,
             LinkSession& session, bool several)
      : common_(common), options_(options), backup_(backup), session_(session), several_(several) {}

  ModuleRun RestoreOne(uint8_t address);

 private:
  bool Detailed() const { return !several_ && !common_.json; }
  void ShowPlan(const ModuleRun& run) const;
  void Write(ModuleRun& run) const;
  // After every write was verified: kDone when the module now matches the file.
  void CheckWholeSetup(const dqcommission::ModuleAccess& module, ModuleRun& run) const;
  void ShowStop(const ModuleRun& run) const;

  const CommonOptions& common_;
  const RestoreOptions& options_;
  const dqcommission::ConfigBackup& backup_;
  LinkSession& session_;
  bool several_;
};

ModuleRun RestoreRun::RestoreOne(uint8_t address) {
  ModuleRun run;
  run.address = address;
  TModuleIdentity identity;
  if (!session_.Identify(address, identity, run.message)) {
    run.state = RunState::kUnreachable;
    run.exitCode = kExitLink;
    return run;
  }
  run.type = dqcommission::ModuleTypeText(identity.TypeName);
  run.version = dqcommission::ModuleTypeText(identity.Version);
  if (run.type != backup_.typeName && !options_.force) {
    run.state = RunState::kTypeRefused;
    run.message = "the file is for a " + backup_.typeName + ", this module is a " + run.type +
                  "; nothing written (--force writes it anyway)";
    run.exitCode = kExitDiffers;
    return run;
  }
  dqcommission::ModuleAccess module(session_.Config(), address);
  TModuleSetup setup{};
  dqcommission::SetupRead read = dqcommission::ReadSetup(module, setup);
  if (read.status != 0) {
    run.state = RunState::kReadFailed;
    run.message = "reading register " + dqcommission::RegisterName(read.failedReg) + " failed: " +
                  module.StatusText(read.status) + "; nothing written";
    run.exitCode = kExitLink;
    return run;
  }
  run.differences = dqcommission::CompareSetups(backup_.setup, setup, options_.withAddress);
  run.plan = dqcommission::PlanWrites(backup_.setup, setup, options_.withAddress);
  if (Detailed()) ShowPlan(run);
  if (run.plan.empty()) {
    run.state = RunState::kMatching;
    return run;
  }
  if (options_.dryRun) {
    run.state = RunState::kDryRun;
    run.exitCode = kExitDiffers;
    return run;
  }
  if (!several_ && !options_.yes) {
    if (!OnTerminal()) {
      run.state = RunState::kDeclined;
      run.message = "not on a terminal, so not asking: add --yes to write; nothing written";
      run.exitCode = kExitUsage;
      return run;
    }
    if (!AskYes("Write " + std::to_string(run.plan.size()) + " register(s) into the module at address " +
                std::to_string(address) + "?")) {
      run.state = RunState::kDeclined;
      run.message = "nothing written";
      run.exitCode = kExitDiffers;
      return run;
    }
  }
  Write(run);
  return run;
}

void RestoreRun::ShowPlan(const ModuleRun& run) const {
  PrintLine("Module " + run.type + " v." + run.version + " at address " + std::to_string(run.address) + " (" +
            session_.Describe() + ")");
  const size_t counted = dqcommission::CountedDifferences(run.differences);
  if (counted == 0) {
    PrintLine("It matches " + options_.file + ".");
  } else {
    PrintLine(std::to_string(counted) + (counted == 1 ? " field differs" : " fields differ") + " from " +
              options_.file + ":");
  }
  for (const auto& line : DifferenceLines(run.differences)) PrintLine(line);
  if (run.plan.empty()) return;
  PrintLine(options_.dryRun ? "Would write (dry run, nothing sent):" : "Registers to write:");
  for (const auto& w : run.plan) {
    PrintLine("  " + dqcommission::RegisterName(w.reg) + ": " + Hex(w.from) + " -> " + Hex(w.to));
  }
}

void RestoreRun::Write(ModuleRun& run) const {
  dqcommission::ModuleAccess module(session_.Config(), run.address);
  const bool detailed = Detailed();
  run.result = dqcommission::WritePlan(
      module, run.plan,
      [detailed](const dqcommission::WriteStep& step, size_t, size_t) {
        if (detailed && step.outcome == dqcommission::WriteOutcome::kVerified) {
          PrintLine("  " + dqcommission::RegisterName(step.write.reg) + ": written " + Hex(step.write.to) +
                    ", read back " + Hex(step.readBack));
        }
      },
      [] { return Interrupted(); });
  const dqcommission::WriteStep* failure = run.result.Failure();
  if (failure == nullptr) {
    CheckWholeSetup(module, run);
    return;
  }
  if (run.result.stopped && failure->outcome == dqcommission::WriteOutcome::kNotWritten) {
    run.state = RunState::kInterrupted;
    run.message = "interrupted before writing " + dqcommission::RegisterName(failure->write.reg);
    run.exitCode = kExitDiffers;
    if (detailed) ShowStop(run);
    return;
  }
  run.state = RunState::kStopped;
  const std::string reg = dqcommission::RegisterName(failure->write.reg);
  const std::string text = module.StatusText(failure->status);
  const bool refused = dqerr::IsModuleStatus(failure->status);
  run.exitCode = failure->outcome == dqcommission::WriteOutcome::kReadBackDiffers || refused ? kExitDiffers : kExitLink;
  switch (failure->outcome) {
    case dqcommission::WriteOutcome::kWriteFailed:
      run.message = refused ? "the module refused writing " + reg + ": " + text
                            : "writing " + reg + " got no valid answer (" + text +
                                  "); it may or may not have taken effect";
      break;
    case dqcommission::WriteOutcome::kReadBackFailed:
      run.message = reg + " was written, but its read-back failed (" + text + "); its value is not known";
      break;
    default:
      run.message = reg + " was written with " + Hex(failure->write.to) + " but reads back " +
                    Hex(failure->readBack);
      break;
  }
  if (detailed) ShowStop(run);
}

void RestoreRun::CheckWholeSetup(const dqcommission::ModuleAccess& module, ModuleRun& run) const {
  // Each register was read back as it was written; the whole configuration
  // read again shows that nothing changed it meanwhile, so that "done"
  // means the module matches the file.
  TModuleSetup after{};
  const dqcommission::SetupRead read = dqcommission::ReadSetup(module, after);
  size_t left = 0;
  if (read.status == 0) {
    left = dqcommission::CountedDifferences(dqcommission::CompareSetups(backup_.setup, after, options_.withAddress));
    if (left == 0) {
      run.state = RunState::kDone;
      return;
    }
  }
  run.state = RunState::kStopped;
  if (read.status != 0) {
    run.exitCode = kExitLink;
    run.message = "every register was written and read back, but reading " +
                  dqcommission::RegisterName(read.failedReg) + " again failed (" + module.StatusText(read.status) +
                  "); whether the module matches is not known";
  } else {
    run.exitCode = kExitDiffers;
    run.message = "every register was written and read back, but read again " + std::to_string(left) +
                  (left == 1 ? " field differs" : " fields differ") + " from " + options_.file +
                  " (changed meanwhile?)";
  }
  if (Detailed()) ShowStop(run);
}

void RestoreRun::ShowStop(const ModuleRun& run) const {
  std::string verified, failed, notWritten;
  for (const auto& step : run.result.steps) {
    std::string& list = step.outcome == dqcommission::WriteOutcome::kVerified     ? verified
                        : step.outcome == dqcommission::WriteOutcome::kNotWritten ? notWritten
                                                                            : failed;
    list += (list.empty() ? "" : ", ") + Hex(step.write.reg);
  }
  PrintLine("Stopped: " + run.message + ".");
  PrintLine("  written and read back: " + (verified.empty() ? "none" : verified));
  if (!failed.empty()) PrintLine("  not confirmed:         " + failed);
  PrintLine("  not written:           " + (notWritten.empty() ? "none" : notWritten));
}

int RunRestore(const CommonOptions& common, const RestoreOptions& options) {
  dqcommission::ConfigBackup backup;
  std::string error;
  if (!LoadBackup(options.file, backup, error)) {
    PrintError(error + "; nothing written");
    return kExitUsage;
  }
  LinkChoice choice;
  if (!ChooseLink(common, choice, error)) {
    PrintError(error);
    return kExitUsage;
  }
  const bool several = choice.addresses.size() > 1;
  if (several && options.withAddress) {
    PrintError("--with-address takes one --address: several modules cannot share one address");
    return kExitUsage;
  }
  if (several && !options.yes && !options.dryRun) {
    std::string list;
    for (uint8_t a : choice.addresses) list += (list.empty() ? "" : ", ") + std::to_string(a);
    if (!OnTerminal()) {
      PrintError("not on a terminal, so not asking: add --yes to write; nothing written");
      return kExitUsage;
    }
    if (!AskYes("Write the configuration of " + options.file + " into the modules at addresses " + list + "?")) {
      PrintLine("Nothing written.");
      return kExitDiffers;
    }
  }
  CatchInterrupts();
  LinkSession session(choice);
  if (!session.Open(error)) {
    PrintError(error + "; nothing written");
    return kExitLink;
  }
  RestoreRun restore(common, options, backup, session, several);
  std::vector<ModuleRun> runs;
  int exitCode = kExitOk;
  for (uint8_t address : choice.addresses) {
    if (Interrupted()) {
      ModuleRun skipped;
      skipped.address = address;
      skipped.state = RunState::kNotReached;
      skipped.exitCode = kExitDiffers;
      runs.push_back(skipped);
    } else {
      runs.push_back(restore.RestoreOne(address));
    }
    const ModuleRun& run = runs.back();
    exitCode = WorseExit(exitCode, run.exitCode);
    if (common.json) continue;
    if (several) {
      PrintLine(ResultLine(run));
    } else if (run.state == RunState::kDone) {
      PrintLine("Done: " + std::to_string(VerifiedCount(run)) + " register(s) written and read back.");
    } else if (run.state == RunState::kMatching) {
      PrintLine("Nothing to write.");
    } else if (run.state != RunState::kStopped && run.state != RunState::kInterrupted &&
               run.state != RunState::kDryRun) {
      PrintError(run.message);
    }
  }
  const ModuleRun& first = runs.front();
  const AddressOrRateWrite wrote = several ? AddressOrRateWrite::kNone : WroteAddressOrRate(first);
  if (wrote != AddressOrRateWrite::kNone && !common.json) {
    // An unconfirmed write may have taken effect: the module may come up
    // at the new address after all.
    const std::string lead = wrote == AddressOrRateWrite::kUnconfirmed
                                 ? "If the unconfirmed write took effect, the new address "
                                 : "The new address ";
    PrintLine(lead + std::to_string(backup.setup.Address) + " and rate " +
              std::to_string(BaudRateFromCode(backup.setup.BaudCode)) +
              " Bd take effect at the module's next power-up; until then it answers at address " +
              std::to_string(first.address) + ", " + std::to_string(session.Config().BaudRate) +
              " Bd. After the power-up reach it with --address " + std::to_string(backup.setup.Address) +
              " --rate " + std::to_string(BaudRateFromCode(backup.setup.BaudCode)) + ".");
  }
  if (several && !common.json) {
    size_t good = 0;
    for (const auto& run : runs) good += run.exitCode == kExitOk;
    PrintLine(std::to_string(runs.size()) + " modules: " + std::to_string(good) + " matching or done, " +
              std::to_string(runs.size() - good) + " not.");
  }
  if (common.json) {
    nlohmann::json modules = nlohmann::json::array();
    for (const auto& run : runs) modules.push_back(RunJson(run));
    PrintJson({{"file", options.file}, {"link", session.Describe()}, {"dryRun", options.dryRun},
               {"modules", modules}, {"exitCode", exitCode}});
  }
  return exitCode;
}

}  // namespace

void AddRestoreCommand(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<RestoreOptions>();
  CLI::App* command = app.add_subcommand(
      "restore",
      "Write the registers in which the module differs from FILE, each followed by its read-back.\n"
      "--address 1,4,7-9 restores several modules in turn (address and rate registers untouched).");
  command->add_option("FILE", options->file, "backup file to restore")->required();
  command->add_flag("--with-address", options->withAddress,
                    "also write the address and rate registers (effective at the module's next power-up)");
  command->add_flag("--yes,-y", options->yes, "write without asking (needed when not on a terminal)");
  command->add_flag("--dry-run", options->dryRun, "show the writes without sending any");
  command->add_flag("--force", options->force, "write a file made for another module type");
  AddCommonOptions(*command, context.common);
  command->callback([&context, options] { context.exitCode = RunRestore(context.common, *options); });
}

}  // namespace dqcli
