#include "Interrupt.h"

#include <signal.h>

#include <atomic>

namespace dqcli {

namespace {

// Lock-free, so setting it from the handler is async-signal-safe.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void Note(int) { interrupted.store(true); }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal (an ssh session dropped) or a reader of the output
  // gone (`| head`) must not kill a command that has switched outputs or
  // is writing registers: it stops as on Ctrl+C.
  sigaction(SIGHUP, &action, nullptr);
  sigaction(SIGPIPE, &action, nullptr);
}

bool Interrupted() { return interrupted.load(); }

const std::atomic<bool>& InterruptFlag() { return interrupted; }

}  // namespace dqcli
