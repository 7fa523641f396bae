#include "cli/CheckoutCommand.h"

#include <CLI/CLI.hpp>
#include <cstring>
#include <iostream>
#include <memory>
#include <unistd.h>

#include "OpenLink.h"
#include "commission/Checkout.h"
#include "core/AtomicFile.h"

bool ParseChannelList(const std::string& text, uint32_t& mask) {
  if (text == "all") {
    mask = 0xFFFFFFFFu;
    return true;
  }
  if (text == "none") {
    mask = 0;
    return true;
  }
  uint32_t out = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t dash = item.find('-');
    int first = -1;
    int last = -1;
    try {
      size_t used = 0;
      first = std::stoi(item, &used);
      if (dash == std::string::npos) {
        if (used != item.size()) return false;
        last = first;
      } else {
        if (used != dash) return false;
        last = std::stoi(item.substr(dash + 1), &used);
        if (used != item.size() - dash - 1) return false;
      }
    } catch (const std::exception&) {
      return false;
    }
    if (first < 0 || last > 31 || first > last) return false;
    for (int n = first; n <= last; ++n) out |= 1u << n;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  mask = out;
  return true;
}

int RunCheckoutCommand(const CheckoutArgs& args, const LinkOpener& openLink, std::istream& in, std::ostream& out,
                       std::ostream& err, const std::atomic<bool>& stop) {
  dqcommission::CheckoutOptions options;
  if (!ParseChannelList(args.outputs, options.outputs) || !ParseChannelList(args.inputs, options.inputs) ||
      !ParseChannelList(args.counters, options.counters)) {
    err << "checkout: --outputs, --inputs and --counters take all, none or channels 0-31 such as 0-7,12\n";
    return 2;
  }
  if (args.timeoutSeconds < 1 || args.timeoutSeconds > 3600) {
    err << "checkout: --timeout takes 1-3600 seconds\n";
    return 2;
  }
  options.inputTimeout = options.counterTimeout = std::chrono::seconds(args.timeoutSeconds);
  options.keepGoing = args.keepGoing;
  options.echoAnswers = &in == &std::cin && isatty(STDIN_FILENO) == 0;
  if (!args.loopback.empty()) {
    std::string text;
    std::string why;
    int error = dqcore::ReadFileBytes(args.loopback, text);
    if (error != 0) {
      err << "checkout: " << args.loopback << ": " << std::strerror(error) << "\n";
      return 2;
    }
    if (!options.loopback.Parse(text, &why)) {
      err << "checkout: " << args.loopback << ": " << why << "\n";
      return 2;
    }
  }
  // The results are saved at the end: a path that cannot take them is
  // refused now, not after the technician's whole session.
  if (const int error = dqcore::CheckReplaceable(args.results); error != 0) {
    err << "checkout: " << args.results << ": " << std::strerror(error) << "\n";
    return 2;
  }
  TConnectionConfig link;
  SetConnectionDefaults(&link);
  int opened = openLink(link, err);
  if (opened != 0) return opened;
  dqcommission::CheckoutResults results =
      dqcommission::RunCheckout(link, link.ModuleAddress, options, in, out, stop);
  CloseLink(link);
  std::string why;
  if (!dqcommission::SaveCheckoutResults(args.results, results, &why)) {
    // Not lost all the same: the technician can copy them from here.
    err << "checkout: the results could not be saved: " << why << "\nThe results:\n"
        << dqcommission::CheckoutResultsJson(results) << "\n";
    return 2;
  }
  out << "Results saved to " << args.results << ".\n";
  return dqcommission::CheckoutExitCode(results);
}

CLI::App* AddCheckoutCommand(CLI::App& app, LinkOpener openLink, const std::atomic<bool>& stop, int& exitCode) {
  auto args = std::make_shared<CheckoutArgs>();
  CLI::App* cmd = app.add_subcommand(
      "checkout",
      "Guided I/O checkout: each output driven alone and confirmed (by eye, or by its wired input with "
      "--loopback), each input switched by you, each counter seen rising. Only the outputs are written; "
      "at the end, on Ctrl+C and on a failure they get their configured initial states back.");
  cmd->add_option("--loopback", args->loopback, "plan file: one \"DOUTk DINj\" per line, an output cabled to an input");
  cmd->add_option("--results", args->results, "JSON file of the results, for the report")->capture_default_str();
  cmd->add_option("--outputs", args->outputs, "outputs to check: all, none or e.g. 0-7,12")->capture_default_str();
  cmd->add_option("--inputs", args->inputs, "inputs to check")->capture_default_str();
  cmd->add_option("--counters", args->counters, "counters to check")->capture_default_str();
  cmd->add_option("--timeout", args->timeoutSeconds, "seconds to wait for an input or a counter")->capture_default_str();
  cmd->add_flag("--keep-going", args->keepGoing, "go on after a failed channel");
  cmd->callback([args, openLink, &stop, &exitCode]() {
    exitCode = RunCheckoutCommand(*args, openLink, std::cin, std::cout, std::cerr, stop);
  });
  return cmd;
}
