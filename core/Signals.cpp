#include "core/Signals.h"

#include <signal.h>

namespace dqcore {

void CatchSignals(void (*handler)(int), std::initializer_list<int> signals, int flags, IfIgnored ifIgnored) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  for (int signal : signals) {
    struct sigaction old {};
    if (ifIgnored == IfIgnored::kKeep && sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

}  // namespace dqcore
