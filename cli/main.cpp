// dq7184: the commissioning companion of W_DQ7184 -- one module's page,
// backup, diff and restore, live log, link test, I/O checkout and report,
// over the same link and driver libraries.
#include <CLI/CLI.hpp>

#include "CheckoutCommand.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "Interrupt.h"
#include "LinkSession.h"
#include "ScanCommand.h"
#ifdef DQ_WITH_REPORT
#include "ReportHooks.h"
#endif

int main(int argc, char** argv) {
  using namespace dqcli;
  CLI::App app{"dq7184 " DQ_VERSION " - commissioning companion for the DQ-7184/9 I/O module"};
  app.set_version_flag("--version", DQ_VERSION);
  app.require_subcommand(1);
  app.footer(std::string(kExitCodesHelp) +
             "\nWithout connection options the link of W_dq7184.ini beside the program is used (read only).");
  CommandContext context;
  AddInfoCommand(app, context);
  AddBackupCommand(app, context);
  AddDiffCommand(app, context);
  AddRestoreCommand(app, context);
  AddWatchCommand(app, context);
  AddLinkTestCommand(app, context);
  // Ctrl+C ends these between two exchanges with the link closed and an
  // account of what was done; a read at a question is not restarted.
  const auto catchInterrupts = [](std::size_t) { CatchInterrupts(); };
  const LinkOpener openLink = SingleModuleOpener(context.common);
  CLI::App* checkout = AddCheckoutCommand(app, openLink, InterruptFlag(), context.exitCode);
  AddCommonOptions(*checkout, context.common);
  checkout->preparse_callback(catchInterrupts);
#ifdef DQ_WITH_REPORT
  CLI::App* report = AddReportCommand(app, openLink, CompanionReportHooks(), InterruptFlag(), context.exitCode);
  AddCommonOptions(*report, context.common);
  report->preparse_callback(catchInterrupts);
#endif
  // The scan opens its own link, one probe at a time, and catches Ctrl+C
  // itself; the connection options name the module it probes first.
  ScanCommandContext scan;
  scan.loadLink = [&context](TConnectionConfig& link, std::ostream& err) {
    LinkChoice choice;
    std::string error;
    if (!ChooseLink(context.common, choice, error)) {
      err << "dq7184 scan: " << error << '\n';
      return static_cast<int>(kExitUsage);
    }
    link = choice.config;
    link.ModuleAddress = choice.addresses.front();
    link.BaudRate = BaudRateFromCode(choice.baudCode);
    return static_cast<int>(kExitOk);
  };
  AddScanCommand(app, scan);
  AddConnectionOptions(*app.get_subcommand("scan"), context.common);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }
  return app.got_subcommand("scan") ? scan.exitCode : context.exitCode;
}
