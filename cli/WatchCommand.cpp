#include <unistd.h>

#include <cmath>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Commands.h"
#include "ExitCodes.h"
#include "LinkSession.h"
#include "OpenLink.h"
#include "Watch.h"

namespace dqcli {

namespace {

struct WatchArgs {
  dqcommission::WatchOptions options;
  double durationSeconds = 0;
};

int RunWatchCommand(const WatchArgs& args, bool json, const LinkOpener& openLink, const std::atomic<bool>& stop) {
  dqcommission::WatchOptions options = args.options;
  if (!options.sources.Any()) {
    std::cerr << "watch: choose at least one of --inputs, --counters, --status\n";
    return kExitUsage;
  }
  // Rounded up: a duration under a millisecond must not become 0, "no limit".
  options.durationMs = static_cast<int64_t>(std::ceil(args.durationSeconds * 1000.0));
  options.table = !json && isatty(STDOUT_FILENO) != 0;

  TConnectionConfig config{};
  if (const int code = openLink(config, std::cerr); code != 0) return code;
  const dqcommission::ModuleLink link{config.InterfaceType, config.DriverHandle, config.ModuleAddress};
  std::ostringstream discarded;
  const dqcommission::WatchResult result =
      dqcommission::RunWatch(link, options, json ? static_cast<std::ostream&>(discarded) : std::cout, std::cerr, stop);
  CloseLink(config);

  if (json) {
    nlohmann::json summary = {{"samples", result.samples},
                              {"failed_samples", result.failedSamples},
                              {"stopped", result.stopped},
                              {"csv", options.csvPath.empty() ? nlohmann::json() : nlohmann::json(options.csvPath)}};
    if (result.fileError) summary["file_error"] = result.message;
    else if (result.linkError) summary["link_error"] = result.message;
    else if (!result.message.empty()) summary["notice"] = result.message;  // a torn row cut off
    std::cout << summary.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  }
  if (result.linkError || result.fileError) {
    std::cerr << "watch: " << result.message << '\n';
    return result.linkError ? kExitLink : kExitUsage;
  }
  return kExitOk;
}

}  // namespace

void AddWatchCommand(CLI::App& app, CommandContext& context) {
  auto args = std::make_shared<WatchArgs>();
  CLI::App* watch = app.add_subcommand("watch", "Show the inputs, counters and status register live, and log them");
  dqcommission::WatchOptions& o = args->options;
  watch->add_flag("--inputs", o.sources.inputs, "Digital inputs DIN0-DIN31 (every 100 ms)");
  watch->add_flag("--counters", o.sources.counters, "Counters CNT 0-CNT 31 (every 100 ms, or as fast as the wire allows)");
  watch->add_flag("--status", o.sources.status, "Status register (every 500 ms)");
  watch->add_option("--interval", o.intervalMs, "Sampling interval in ms (default: the shortest of the chosen)")
      ->check(CLI::Range(1, 3600000));
  watch->add_option("--csv", o.csvPath, "Append one row per sample to FILE (created with its header)");
  watch->add_flag("--masks", o.masks, "In the CSV, the inputs and status register as 32-bit hex images");
  watch->add_option("--sync", o.syncMs, "Sync the CSV to the disk at least every MS (default 1000)")
      ->check(CLI::Range(1, 3600000));
  watch->add_option("--duration", args->durationSeconds, "Stop after SECONDS")
      ->check(CLI::PositiveNumber & CLI::Range(0.0, 1e9));
  watch->add_option("--count", o.count, "Stop after N samples")->check(CLI::Range(int64_t{1}, int64_t{1000000000000}));
  OnInterruptibleRun(*watch, context, [args](bool json, const LinkOpener& openLink, const std::atomic<bool>& stop) {
    return RunWatchCommand(*args, json, openLink, stop);
  });
}

}  // namespace dqcli
