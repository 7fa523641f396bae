// What `dq7184 scan` prints: the progress line on a terminal, the table of
// modules found, the garbled report, the closing summary, and the JSON list.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "commission/Scan.h"

namespace dqcli {

// The progress line, redrawn in place ("\r" and erase to the end of the
// line) at most ten times a second, and erased before anything else is
// printed. Does nothing when the output is not a terminal.
class ScanProgressLine {
 public:
  ScanProgressLine(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void Show(const dqcommission::ScanProgress& progress);
  void Erase();

 private:
  std::ostream& out_;
  bool terminal_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// "probe 120/2304, 9600 Bd, 1 found, 3:52 left"
std::string ProgressText(const dqcommission::ScanProgress& progress);

// The table of modules (address, rate, type, version), one line each, or
// "no module found".
void PrintModuleTable(std::ostream& out, const dqcommission::ScanResult& result);

// One line per garbled probe: "something answers, garbled: two modules at
// one address, or a module at another rate" with the address, rate and the
// library's text.
void PrintGarbled(std::ostream& out, const dqcommission::ScanResult& result);

// How the scan ended: probes done of all, time against the floor, and why
// it ended early.
void PrintSummary(std::ostream& out, const dqcommission::ScanResult& result);

// The modules as a JSON list of objects: address, rate (Bd), type,
// version, and for a module that did not identify itself fully "error"
// with the library's text.
std::string ModulesJson(const dqcommission::ScanResult& result);

}  // namespace dqcli
