#include "Interrupt.h"

#include <signal.h>

namespace dqcli {

namespace {

volatile sig_atomic_t interrupted = 0;

void Note(int) { interrupted = 1; }

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = Note;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return interrupted != 0; }

}  // namespace dqcli
