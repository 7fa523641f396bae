#include "sim/simulator/Simulator.h"

#include <ctime>

namespace dqsim {

Simulator::Simulator(SimOptions options, const TimeSource* time) : engine_(std::move(options), time) {}

Simulator::~Simulator() {
  StopThread();
  Close();
}

// ---- the loop -------------------------------------------------------------------

void Simulator::RunOnce(int maxWaitMs) {
  int64_t timeoutUs = 0;
  {
    Lock lock(mu_);
    if (!engine_.PreparePoll(maxWaitMs, timeoutUs)) return;
  }
  // Only the loop touches the poll set, so the wait needs no lock.
  std::vector<pollfd>& fds = engine_.PollFds();
  timespec timeout{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
  int ready = ppoll(fds.data(), fds.size(), &timeout, nullptr);
  Lock lock(mu_);
  engine_.HandlePolled(ready);
}

void Simulator::Run() {
  while (!engine_.StopRequested()) RunOnce(1000);
}

void Simulator::StartThread() {
  if (thread_.joinable()) return;
  engine_.ClearStop();
  thread_ = std::thread([this] { Run(); });
}

void Simulator::StopThread() {
  if (!thread_.joinable()) return;
  RequestStop();
  thread_.join();
}

}  // namespace dqsim
