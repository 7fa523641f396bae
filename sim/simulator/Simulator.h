// A running simulator: the modules on one bus, the lines they are reached
// by (pseudo-terminal, serial device, UDP), the control socket, injected
// faults and the state file, driven by one poll loop (see SimEngine).
//
// The loop runs either on the caller's thread (Run, used by the
// executable) or on a thread of its own (StartThread, for in-process
// tests). Every public method is safe to call from any thread: one lock
// guards the whole engine and the loop holds it only while it handles
// events, never while it waits. The lock is not recursive: only this class
// takes it, and the engine and the control commands it runs never call
// back into this class.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/simulator/SimEngine.h"

namespace dqsim {

#define DQSIM_LOCKED_OPERATION(result, name, parameters, arguments, qualifier) \
  result name parameters qualifier {                                            \
    Lock lock(mu_);                                                             \
    return engine_.name arguments;                                              \
  }

class Simulator {
 public:
  // time: the clock the modules run on (a SystemTime when null); it must
  // outlive the simulator.
  explicit Simulator(SimOptions options, const TimeSource* time = nullptr);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The engine's operations (SimControl.h, SimEngine.h), each under the
  // lock. A result is returned by value, so that it is copied before the
  // lock is released. WithModule's f must not call this simulator.
  DQSIM_CONTROL_OPERATIONS(DQSIM_LOCKED_OPERATION)
  DQSIM_ENGINE_OPERATIONS(DQSIM_LOCKED_OPERATION)

  // ---- loop ----------------------------------------------------------------
  // Waits up to maxWaitMs for traffic and handles it.
  void RunOnce(int maxWaitMs);
  // Loops until RequestStop.
  void Run();
  // Safe from a signal handler.
  void RequestStop() { engine_.RequestStop(); }
  bool StopRequested() const { return engine_.StopRequested(); }
  void StartThread();
  void StopThread();
  // With wire timing: the module's turnaround, from the end of a request
  // on the wire to the first byte of its reply.
  static constexpr int64_t kTurnaroundMicros = SimEngine::kTurnaroundMicros;

 private:
  using Lock = std::lock_guard<std::mutex>;

  mutable std::mutex mu_;
  SimEngine engine_;
  std::thread thread_;
};

}  // namespace dqsim
