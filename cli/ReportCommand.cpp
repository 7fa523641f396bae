#include "cli/ReportCommand.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "OpenLink.h"
#include "core/AtomicFile.h"
#include "report/ReportPdf.h"
#include "report/WatchCsv.h"

namespace {

std::string InterfaceText(const TConnectionConfig& link) {
  int type = static_cast<int>(link.InterfaceType);
  std::string text = type >= 0 && type < kInterfaceTypeCount ? dqabi::kLibraries[type].title : "interface ?";
  if (link.InterfaceType == itComPort) text += " COM" + std::to_string(link.ComPort);
  if (link.InterfaceType == itDq2847)
    text += " " + Utf8FromCp1250(link.IpAddress) + ":" + std::to_string(link.UdpPort);
  return text;
}

// The module a text names, quoted, its control characters escaped: the
// checkout file's name may hold anything.
std::string Quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// How the module of a checkout's results differs from the module the report
// reads: its address and identification as the file gives them and as the
// module answered now. Empty when they are the same.
std::string OtherModule(const dqcommission::CheckoutResults& checkout, int address, const std::string& ident) {
  std::string differs;
  if (checkout.address != address)
    differs = "address " + std::to_string(checkout.address) + " in the file, " + std::to_string(address) + " now";
  if (checkout.moduleIdent != ident) {
    if (!differs.empty()) differs += "; ";
    differs += "module " + Quoted(checkout.moduleIdent) + " in the file, " + Quoted(ident) + " now";
  }
  return differs;
}

}  // namespace

int RunReportCommand(const ReportArgs& args, const LinkOpener& openLink, const ReportHooks& hooks, std::ostream& out,
                     std::ostream& err, const std::atomic<bool>& stop) {
  if (args.site.empty() || args.technician.empty()) {
    err << "report: --site and --technician are needed\n";
    return 2;
  }
  dqreport::ReportData data;
  data.site = args.site;
  data.technician = args.technician;
  data.watchCsv = args.watch;
  std::string why;
  if (!args.checkout.empty()) {
    if (!dqcommission::LoadCheckoutResults(args.checkout, data.checkout, &why)) {
      err << "report: " << why << "\n";
      return 2;
    }
    data.haveCheckout = true;
    data.checkoutFile = args.checkout;
  }
  // Every file is read and checked before the link is opened: a bad one
  // costs no link test and sends nothing to the module.
  BackupComparison compareWithBackup;
  if (!args.backup.empty()) {
    if (!hooks.loadBackup) {
      err << "report: --backup is not available in this build\n";
      return 2;
    }
    compareWithBackup = hooks.loadBackup(args.backup, err);
    if (!compareWithBackup) return 2;
  }
  if (const int error = dqcore::CheckReplaceable(args.pdf); error != 0) {
    err << "report: " << args.pdf << ": " << std::strerror(error) << "; no report written\n";
    return 2;
  }
  if (!args.watch.empty()) {
    dqreport::WatchLog log;
    if (!dqreport::LoadWatchCsv(args.watch, log, &why)) {
      err << "report: " << why << "\n";
      return 2;
    }
  }
  TConnectionConfig link;
  SetConnectionDefaults(&link);
  int code = openLink(link, err);
  if (code != 0) return code;
  data.date = dqcommission::IsoLocalTime(std::chrono::system_clock::now());
  data.address = link.ModuleAddress;
  data.interfaceText = InterfaceText(link);
  data.baudRate = link.BaudRate;
  data.moduleIdent = Utf8FromCp1250(link.ModuleIdent);
  // Another module's checkout would be shown under this module's name.
  if (data.haveCheckout) {
    const std::string differs = OtherModule(data.checkout, data.address, data.moduleIdent);
    if (!differs.empty()) {
      CloseLink(link);
      err << "report: " << args.checkout << " is the checkout of another module (" << differs
          << "); no report written\n";
      return 1;
    }
  }
  data.module = dqcommission::ReadModule(link, link.ModuleAddress);
  if (!data.module.error.empty()) {
    CloseLink(link);
    err << "report: " << data.module.error << "; no report written\n";
    return 3;
  }
  if (args.linkTest && hooks.linkTest) {
    code = hooks.linkTest(link, stop, data.linkTest, err);
    if (code != 0) {
      CloseLink(link);
      return code;
    }
    data.linkTest.present = true;
  }
  CloseLink(link);
  if (!args.backup.empty()) {
    data.haveBackup = true;
    data.backupFile = args.backup;
    code = compareWithBackup(data, data.differences, err);
    if (code != 0) return code;
  }
  std::string pdf;
  if (!dqreport::DrawReportPdf(data, pdf, &why)) {
    err << "report: " << why << "; no report written\n";
    return 2;
  }
  // Ctrl+C or SIGTERM at any time before this: the link test or the module
  // reading may have been cut short, and a report of it would pass for a
  // whole one. Exit 1, as a stopped checkout.
  if (stop) {
    err << "report: stopped; nothing written to " << args.pdf << "\n";
    return 1;
  }
  const dqcore::SaveResult saved = dqcore::ReplaceFileAtomically(args.pdf, pdf);
  if (!saved.Ok()) {
    err << "report: " << args.pdf << ": " << std::strerror(saved.error) << "; no report written\n";
    return 2;
  }
  out << "Report written to " << args.pdf << ".\n";
  return 0;
}

CLI::App* AddReportCommand(CLI::App& app, LinkOpener openLink, ReportHooks hooks, const std::atomic<bool>& stop,
                           int& exitCode) {
  auto args = std::make_shared<ReportArgs>();
  CLI::App* cmd = app.add_subcommand(
      "report", "Commissioning report as an A4 PDF: identification, configuration (and its difference against a "
                "backup), clock, status register, link test, checkout results and a plot of a watch log.");
  cmd->add_option("FILE", args->pdf, "the PDF to write")->required();
  cmd->add_option("--site", args->site, "the site, as the customer names it")->required();
  cmd->add_option("--technician", args->technician, "who commissioned the module")->required();
  cmd->add_option("--backup", args->backup, "configuration backup file to compare with");
  cmd->add_option("--checkout", args->checkout, "result file of a checkout");
  cmd->add_option("--watch", args->watch, "CSV log of a watch, to plot");
  cmd->add_flag("!--no-link-test", args->linkTest, "leave the link test out");
  cmd->callback([args, openLink, hooks, &stop, &exitCode]() {
    exitCode = RunReportCommand(*args, openLink, hooks, std::cout, std::cerr, stop);
  });
  return cmd;
}
