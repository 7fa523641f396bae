// Everything the commissioning report shows, as plain values. The program
// fills it from the module (ModuleReadout), from the other commands' units
// (difference against a backup, link test) and from files (checkout
// results, the watch log), then hands it to WriteReportPdf.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commission/CheckoutResults.h"
#include "commission/ModuleReadout.h"

namespace dqreport {

// A link test's figures, as its summary gives them.
struct LinkTestFigures {
  bool present = false;
  std::vector<std::pair<std::string, int>> outcomes;  // count by outcome: {"ok", 998}, {"no reply", 2}, ...
  // Latency of one successful exchange; none when no exchange succeeded.
  std::optional<double> minMs, medianMs, p95Ms, p99Ms, maxMs;
  double exchangesPerSecond = 0;
  double floorMs = 0;   // the least one exchange can take at this rate (its wire time)
  std::string verdict;  // the test's own one-line verdict
};

struct ReportData {
  std::string site;        // UTF-8, as typed
  std::string technician;
  std::string date;        // when the report was made, ISO 8601 local with offset

  // The link and the module's identification.
  int address = 0;
  std::string interfaceText;  // e.g. "LAN converter DQ-2847 127.0.0.1:5000"
  unsigned baudRate = 0;
  std::string moduleIdent;    // UTF-8, e.g. "DQ7184/9 v.1.03"

  dqcommission::ModuleReadout module;  // configuration, clock, status as read now

  bool haveBackup = false;
  std::string backupFile;
  std::vector<std::string> differences;  // one line per difference; empty: the same

  LinkTestFigures linkTest;

  bool haveCheckout = false;
  std::string checkoutFile;
  dqcommission::CheckoutResults checkout;

  std::string watchCsv;  // path of a watch log to plot; empty: no plot
};

}  // namespace dqreport
