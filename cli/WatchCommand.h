// The `watch` subcommand: inputs, counters and the status register on the
// terminal and into a crash-safe CSV log.
#pragma once

#include <CLI/CLI.hpp>
#include <atomic>

#include "LinkOpener.h"

// Adds `watch` to `app`. When it runs, `exitCode` gets its exit code: 0
// done, 2 usage or file error, 3 the link is not open, or the opener's
// code. `stop` is set by the program's SIGINT/SIGTERM handler.
CLI::App* AddWatchCommand(CLI::App& app, LinkOpener openLink, const std::atomic<bool>& stop, int& exitCode);
