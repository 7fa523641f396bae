// The `linktest` subcommand: N one-attempt exchanges, counted by outcome,
// with latencies, throughput against the wire floor and a verdict.
#pragma once

#include <CLI/CLI.hpp>
#include <atomic>

#include "LinkOpener.h"

// Adds `linktest` to `app`. When it runs, `exitCode` gets its exit code: 0
// good, 1 marginal or bad, 2 usage error, 3 the retries cannot be set, or
// the opener's code. `stop` is set by the program's SIGINT/SIGTERM handler.
CLI::App* AddLinkTestCommand(CLI::App& app, LinkOpener openLink, const std::atomic<bool>& stop, int& exitCode);
