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
}

bool Interrupted() { return interrupted.load(); }

const std::atomic<bool>& InterruptFlag() { return interrupted; }

}  // namespace dqcli
