// Ctrl+C (SIGINT) and SIGTERM during a run: noted, not fatal, so that a
// command ends between two exchanges with an account of what it did and
// the link closed.
#pragma once

namespace dqcli {

void CatchInterrupts();
bool Interrupted();

}  // namespace dqcli
