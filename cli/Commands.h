// The commands of dq7184. Each registers itself on the program with its
// options and sets the run's exit code when it runs.
#pragma once

#include <CLI/CLI.hpp>

#include "CommonOptions.h"

namespace dqcli {

struct CommandContext {
  CommonOptions common;
  int exitCode = 0;
};

void AddInfoCommand(CLI::App& app, CommandContext& context);
void AddBackupCommand(CLI::App& app, CommandContext& context);
void AddDiffCommand(CLI::App& app, CommandContext& context);
void AddRestoreCommand(CLI::App& app, CommandContext& context);
void AddWatchCommand(CLI::App& app, CommandContext& context);
void AddLinkTestCommand(CLI::App& app, CommandContext& context);

}  // namespace dqcli
