#include "TestUtil.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace dqtest {

struct PtyModule::State {
  PtyPair& pty;
  Answer answer;
  std::atomic<bool> stop{false};
  std::atomic<int> requests{0};
  std::thread thread;
  State(PtyPair& p, Answer a) : pty(p), answer(a) {}
};

PtyModule::PtyModule(PtyPair& pty, Answer answer) : state_(new State(pty, answer)) {
  state_->thread = std::thread([state = state_] {
    dqbus::RequestStream stream;
    while (!state->stop) {
      pollfd wait{state->pty.Master(), POLLIN, 0};
      if (poll(&wait, 1, 10) <= 0 || (wait.revents & POLLIN) == 0) continue;
      uint8_t chunk[256];
      ssize_t n = read(state->pty.Master(), chunk, sizeof chunk);
      if (n <= 0) continue;
      for (const auto& request : stream.Feed(chunk, static_cast<size_t>(n))) {
        ++state->requests;
        state->pty.Send(state->answer(request));
      }
    }
  });
}

PtyModule::~PtyModule() {
  state_->stop = true;
  state_->thread.join();
  delete state_;
}

int PtyModule::Requests() const { return state_->requests; }

}  // namespace dqtest
