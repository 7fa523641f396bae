// The commands of dq7184. Each registers itself on the program with its
// options and sets the run's exit code when it runs.
#pragma once

#include <CLI/CLI.hpp>
#include <atomic>
#include <functional>

#include "CommonOptions.h"
#include "LinkOpener.h"

namespace dqcli {

struct CommandContext {
  CommonOptions common;
  int exitCode = 0;
};

// The run of a command that works over one module's link until it is done
// or interrupted: the exit code, from the output choice, the link's opener
// and the Ctrl+C flag.
using InterruptibleRun = std::function<int(bool json, const LinkOpener& openLink, const std::atomic<bool>& stop)>;

// Adds the common options to `command` and runs `run` with Ctrl+C caught.
void OnInterruptibleRun(CLI::App& command, CommandContext& context, InterruptibleRun run);

void AddInfoCommand(CLI::App& app, CommandContext& context);
void AddBackupCommand(CLI::App& app, CommandContext& context);
void AddDiffCommand(CLI::App& app, CommandContext& context);
void AddRestoreCommand(CLI::App& app, CommandContext& context);
void AddWatchCommand(CLI::App& app, CommandContext& context);
void AddLinkTestCommand(CLI::App& app, CommandContext& context);

}  // namespace dqcli
