// `dq7184 scan`: finds every module on a line (commission/Scan.h) and
// prints the table, or with --json the list.
#pragma once

#include <atomic>
#include <functional>
#include <iostream>
#include <string>

#include "Dekl.h"

namespace CLI {
class App;
}

namespace dqcli {

// Exit codes of the command.
enum ScanExit : int {
  kScanFound = 0,       // at least one module found, nothing garbled
  kScanNothing = 1,     // no module found, or some probe got garbled bytes
  kScanUsage = 2,       // bad option or settings file
  kScanLinkError = 3,   // the link could not be opened, or failed during the scan
  kScanInterrupted = 130,  // Ctrl+C: the table so far was printed
};

// What the program hands the command.
struct ScanCommandContext {
  // Fills the record with the interface and its parameters (W_dq7184.ini
  // and the program's connection options), also ModuleAddress and BaudRate,
  // which the scan probes first. Returns 0, or the exit code to end with
  // after it printed why to `err`.
  std::function<int(TConnectionConfig& link, std::ostream& err)> loadLink;
  // Set by the program's SIGINT handler; null: the command catches SIGINT
  // and SIGTERM itself while it scans.
  const std::atomic<bool>* stop = nullptr;
  std::ostream* out = &std::cout;
  std::ostream* err = &std::cerr;
  // Whether `out` is a terminal (the progress line); null: isatty(1).
  std::function<bool()> outIsTerminal;
  int exitCode = 0;  // set when the command has run
};

// Adds the subcommand "scan" to `app`; its callback runs the scan with
// `context` (which must outlive the parse) and sets context.exitCode.
void AddScanCommand(CLI::App& app, ScanCommandContext& context);

}  // namespace dqcli
