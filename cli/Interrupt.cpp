#include "Interrupt.h"

#include <signal.h>

#include <atomic>

#include "core/Signals.h"

namespace dqcli {

namespace {

// Lock-free, so setting it from the handler is async-signal-safe.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void Note(int) { interrupted.store(true); }

}  // namespace

void CatchInterrupts() {
  // A closed terminal (an ssh session dropped, SIGHUP) or a reader of the
  // output gone (`| head`, SIGPIPE) must not kill a command that has
  // switched outputs or is writing registers: it stops as on Ctrl+C.
  // No SA_RESTART, so that a question waiting for its answer ends too.
  // A signal ignored when the program started stays ignored (a watch
  // under nohup logs on after the session is gone), except SIGPIPE: with
  // it ignored, output to a closed pipe would fail unnoticed.
  dqcore::CatchSignals(Note, {SIGPIPE});
  dqcore::CatchSignals(Note, {SIGINT, SIGTERM, SIGHUP}, 0, dqcore::IfIgnored::kKeep);
}

bool Interrupted() { return interrupted.load(); }

const std::atomic<bool>& InterruptFlag() { return interrupted; }

}  // namespace dqcli
