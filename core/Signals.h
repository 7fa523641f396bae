// Installing one handler for several signals, for the programs' own ways
// of stopping (the simulator, the companion).
#pragma once

#include <initializer_list>

namespace dqcore {

// Whether a signal the starting process set to be ignored stays ignored:
// SIGHUP under nohup, SIGINT in a job a script started in the background.
enum class IfIgnored { kCatch, kKeep };

// Sets handler (or SIG_DFL / SIG_IGN) for each of the signals, with an
// empty mask and the given sa_flags.
void CatchSignals(void (*handler)(int), std::initializer_list<int> signals, int flags = 0,
                  IfIgnored ifIgnored = IfIgnored::kCatch);

}  // namespace dqcore
