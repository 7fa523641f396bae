// Ctrl+C (SIGINT), SIGTERM, SIGHUP and SIGPIPE during a run: noted, not
// fatal, so that a command ends between two exchanges with an account of
// what it did and the link closed.
#pragma once

#include <atomic>

namespace dqcli {

void CatchInterrupts();
bool Interrupted();
// The same, for the engines that poll a flag between exchanges.
const std::atomic<bool>& InterruptFlag();

}  // namespace dqcli
