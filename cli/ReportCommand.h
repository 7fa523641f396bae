// The command "report FILE.pdf": the commissioning report.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/LinkOpener.h"
#include "report/ReportData.h"

namespace CLI {
class App;
}

// The difference between the configuration read now (data.module) and a
// backup file already read, one line per difference (none when they
// agree). Returns 0, or the exit code after writing why to `err`.
using BackupComparison =
    std::function<int(const dqreport::ReportData& data, std::vector<std::string>& lines, std::ostream& err)>;

// What the report takes from the other commands' units; the program fills
// them in. A hook left empty leaves its part out of the report.
struct ReportHooks {
  // Reads and checks a backup file before the link is opened; its
  // comparison, or an empty one after writing why to `err` (a file error).
  std::function<BackupComparison(const std::string& backupFile, std::ostream& err)> loadBackup;
  // A link test on the open link; fills the figures. Returns 0 or the exit code.
  std::function<int(TConnectionConfig& link, const std::atomic<bool>& stop, dqreport::LinkTestFigures& figures,
                    std::ostream& err)>
      linkTest;
};

struct ReportArgs {
  std::string pdf;
  std::string site;
  std::string technician;
  std::string backup;    // empty: no difference section
  std::string checkout;  // checkout result file; empty: none
  std::string watch;     // watch CSV log; empty: no plot
  bool linkTest = true;
};

// Registers "report"; its callback sets `exitCode`.
CLI::App* AddReportCommand(CLI::App& app, LinkOpener openLink, ReportHooks hooks, const std::atomic<bool>& stop,
                           int& exitCode);

// The command's work: reads and checks every file it was given, then
// opens the link, reads the module, runs the hooks, writes the PDF. Exit
// code 0 written; 1 the checkout file is another module's, or stopped
// (`stop` set) before the PDF was written; 2 usage or file error; 3 link
// error (nothing is written but on 0).
int RunReportCommand(const ReportArgs& args, const LinkOpener& openLink, const ReportHooks& hooks, std::ostream& out,
                     std::ostream& err, const std::atomic<bool>& stop);
