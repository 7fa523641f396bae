// dq7184: the commissioning companion of W_DQ7184 -- info, backup, diff and
// restore of a DQ-7184/9 module over the same link and driver libraries.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "ExitCodes.h"

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
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }
  return context.exitCode;
}
