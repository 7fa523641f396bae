#include "ReportHooks.h"

#include <ostream>

#include "BackupFiles.h"
#include "ExitCodes.h"
#include "LinkOutcomes.h"
#include "LinkTest.h"
#include "SetupDiff.h"
#include "SetupRegisters.h"

namespace dqcli {

namespace {

// Compares the registers the report read with the backup.
int DiffAgainstBackup(const dqcommission::ConfigBackup& backup, const dqreport::ReportData& data,
                      std::vector<std::string>& lines, std::ostream& err) {
  // The registers the report read, in the layout a backup compares.
  TModuleSetup module{};
  for (uint8_t reg : dqcommission::SetupRegisterOrder()) {
    const auto value = data.module.registers.find(reg);
    if (value == data.module.registers.end()) {
      err << "report: register " << dqcommission::RegisterName(reg) << " was not read; no comparison\n";
      return kExitLink;
    }
    dqcommission::SetRegisterByte(module, reg, value->second);
  }
  for (const auto& d : dqcommission::CompareSetups(backup.setup, module, false)) {
    lines.push_back(d.field + ": file " + d.fileValue + ", module " + d.moduleValue +
                    (d.compared ? "" : " (not compared)"));
  }
  return kExitOk;
}

BackupComparison LoadBackupToCompare(const std::string& file, std::ostream& err) {
  dqcommission::ConfigBackup backup;
  std::string error;
  if (!LoadBackup(file, backup, error)) {
    err << "report: " << error << '\n';
    return {};
  }
  return [backup](const dqreport::ReportData& data, std::vector<std::string>& lines, std::ostream& errors) {
    return DiffAgainstBackup(backup, data, lines, errors);
  };
}

int LinkTest(TConnectionConfig& link, const std::atomic<bool>& stop, dqreport::LinkTestFigures& figures,
             std::ostream& err) {
  dqcommission::LinkTestOptions options;
  options.count = kReportLinkTestExchanges;
  const dqcommission::ModuleLink module{link.InterfaceType, link.DriverHandle, link.ModuleAddress};
  const dqcommission::LinkTestReport report = dqcommission::RunLinkTest(module, link.BaudRate, options, stop);
  if (report.setupError != 0) {
    err << "report: the link test could not set the retries: " << report.setupErrorText << '\n';
    return kExitLink;
  }
  figures.present = true;
  for (const auto& outcome : report.outcomes) {
    figures.outcomes.emplace_back(dqcommission::OutcomeName(outcome.first), static_cast<int>(outcome.second));
  }
  if (report.latency.any) {
    figures.minMs = report.latency.minMs;
    figures.medianMs = report.latency.medianMs;
    figures.p95Ms = report.latency.p95Ms;
    figures.p99Ms = report.latency.p99Ms;
    figures.maxMs = report.latency.maxMs;
  }
  figures.exchangesPerSecond = report.exchangesPerSecond;
  figures.floorMs = report.floorMs;
  figures.verdict = std::string(dqcommission::VerdictName(report.judgement.verdict)) + ": " + report.judgement.reason;
  return kExitOk;
}

}  // namespace

ReportHooks CompanionReportHooks() { return ReportHooks{LoadBackupToCompare, LinkTest}; }

}  // namespace dqcli
