#include "Commands.h"

#include "Interrupt.h"
#include "LinkSession.h"

namespace dqcli {

void OnInterruptibleRun(CLI::App& command, CommandContext& context, InterruptibleRun run) {
  AddCommonOptions(command, context.common);
  command.callback([run = std::move(run), &context] {
    CatchInterrupts();
    context.exitCode = run(context.common.json, SingleModuleOpener(context.common), InterruptFlag());
  });
}

}  // namespace dqcli
