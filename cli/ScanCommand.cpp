#include "ScanCommand.h"

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <memory>

#include "ScanOutput.h"
#include "commission/Scan.h"

namespace dqcli {

namespace {

std::atomic<bool> gStopRequested{false};

void OnStopSignal(int) { gStopRequested = true; }

// SIGINT and SIGTERM set gStopRequested while the object lives; the earlier
// handlers come back after it.
class StopSignals {
 public:
  StopSignals() {
    gStopRequested = false;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    // Writes of the progress line go on after the signal; the drivers'
    // waits return early and look at their deadlines again.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

struct ScanArguments {
  std::string addresses = "0-255";
  std::string rates = "600,1200,2400,4800,9600,19200,38400,57600,115200";
  bool first = false;
  bool json = false;
};

const char* const kScanDescription =
    "Find every module on the line: address, rate, type name and version.\n"
    "Order: the module of W_dq7184.ini first, then the factory setting (address 0\n"
    "at 9600 Bd), then every rate from 9600 Bd outward, all addresses at each.\n"
    "Each probe is one identification request with no retry and the shortest wait\n"
    "the protocol allows for a silent module; the scan sets these itself, whatever\n"
    "W_dq7184.ini says: retries 0 and, on the LAN converter, UDP timeout 0 (the\n"
    "converter's minimum). Silent address, serial line / LAN converter, in ms:\n"
    "600 Bd 341.7/1553.3, 1200 233.3/836.7, 2400 129.2/428.3, 4800 77.1/224.2,\n"
    "9600 51.5/122.6, 19200 38.8/71.8, 38400 33.4/47.4, 57600 32.3/39.9,\n"
    "115200 31.1/32.5; all 256 addresses at all nine rates: 248 s / 860 s.\n"
    "A probe that gets bytes but no valid reply is reported as garbled: two\n"
    "modules at one address, or a module at another rate.\n"
    "Ctrl+C ends the scan within the current probe and prints the table so far.\n"
    "Exit: 0 modules found, 1 none found or something garbled, 2 usage or\n"
    "settings file, 3 link error, 130 interrupted.";

int RunScanCommand(const ScanArguments& args, ScanCommandContext& context) {
  std::ostream& out = *context.out;
  std::ostream& err = *context.err;
  dqcommission::ScanOptions options;
  options.firstOnly = args.first;
  std::string error;
  if (!dqcommission::ParseAddressList(args.addresses, options.addresses, error) ||
      !dqcommission::ParseRateList(args.rates, options.baudCodes, error)) {
    err << "dq7184 scan: " << error << "\n";
    return kScanUsage;
  }

  TConnectionConfig link;
  SetConnectionDefaults(&link);
  if (context.loadLink) {
    if (int code = context.loadLink(link, err); code != 0) return code;
  }

  std::unique_ptr<StopSignals> signals;
  if (context.stop == nullptr) signals = std::make_unique<StopSignals>();
  const std::atomic<bool>& stop = context.stop != nullptr ? *context.stop : gStopRequested;

  const bool terminal = context.outIsTerminal ? context.outIsTerminal() : isatty(STDOUT_FILENO) == 1;
  ScanProgressLine progressLine(out, terminal);
  dqcommission::ScanCallbacks callbacks;
  callbacks.progress = [&](const dqcommission::ScanProgress& p) { progressLine.Show(p); };
  dqcommission::ScanResult result = dqcommission::RunScan(link, options, callbacks, stop);
  progressLine.Erase();

  if (result.end == dqcommission::ScanEnd::kOpenFailed) {
    PrintSummary(err, result);
    return kScanLinkError;
  }
  if (args.json) {
    out << ModulesJson(result) << "\n";
  } else {
    PrintModuleTable(out, result);
  }
  // With --json the list alone goes to standard output.
  std::ostream& notes = args.json ? err : out;
  PrintGarbled(notes, result);
  PrintSummary(notes, result);
  out.flush();

  switch (result.end) {
    case dqcommission::ScanEnd::kLinkFault:
      return kScanLinkError;
    case dqcommission::ScanEnd::kStopped:
      return kScanInterrupted;
    default:
      return result.modules.empty() || !result.garbled.empty() ? kScanNothing : kScanFound;
  }
}

}  // namespace

void AddScanCommand(CLI::App& app, ScanCommandContext& context) {
  auto args = std::make_shared<ScanArguments>();
  CLI::App* scan = app.add_subcommand("scan", "Find every module on the line (address, rate, type, version)");
  scan->footer(kScanDescription);
  scan->add_option("--addresses", args->addresses, "Addresses to probe: A, A-B, lists of them (1,4,7-9)")
      ->capture_default_str();
  scan->add_option("--rates", args->rates, "Rates to probe, in Bd (9600,38400)")->default_str("all nine");
  scan->add_flag("--first", args->first, "Stop at the first module found");
  scan->add_flag("--json", args->json, "Print the modules as a JSON list");
  scan->callback([args, &context] { context.exitCode = RunScanCommand(*args, context); });
}

}  // namespace dqcli
