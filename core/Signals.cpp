#include "core/Signals.h"

#include <signal.h>

namespace dqcore {

void CatchSignals(void (*handler)(int), std::initializer_list<int> signals, int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  for (int signal : signals) sigaction(signal, &action, nullptr);
}

}  // namespace dqcore
