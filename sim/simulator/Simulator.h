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

class Simulator {
 public:
  // time: the clock the modules run on (a SystemTime when null); it must
  // outlive the simulator.
  explicit Simulator(SimOptions options, const TimeSource* time = nullptr);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Loads the state file, powers the modules up and opens the lines and
  // the control socket. On failure error says why and nothing stays open.
  bool Open(std::string* error);
  // Saves the state, closes every line and socket, removes the port-map
  // entry and the control socket file. Called by the destructor.
  void Close();

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
  // The clock the lines' timing runs on (wire timing, request gaps): the
  // steady clock unless set. A test steps a ManualTime and drives RunOnce
  // itself. Set it before Open; it must outlive the simulator.
  void SetLineClock(const TimeSource* clock);

  // With wire timing: the module's turnaround, from the end of a request
  // on the wire to the first byte of its reply.
  static constexpr int64_t kTurnaroundMicros = SimEngine::kTurnaroundMicros;

  // ---- where to reach it -----------------------------------------------------
  std::string PtyPath() const;
  uint16_t UdpPort() const;
  std::string ControlPath() const;
  std::string PortMapPath() const;

  // ---- modules (index in the order of the options or the state file) -----
  size_t ModuleCount() const;
  // Index of the module answering at an active address, or -1.
  int FindModule(uint8_t address) const;
  ModuleSnapshot Snapshot(size_t module) const;
  void SetInputs(size_t module, uint32_t physical);  // turns the pattern off
  void SetInputPattern(size_t module, bool on);
  void Pulse(size_t module, int channel, uint32_t count);
  // As command 103 would; returns the module status byte.
  uint8_t WriteRegister(size_t module, uint8_t reg, uint8_t value);
  void SetStatusBits(size_t module, uint32_t mask);
  void ClearStatusBits(size_t module, uint32_t mask);
  void SetCondition(size_t module, int bit, bool on);
  void Restart(size_t module, int64_t offSeconds = 0);  // power cycle
  void Reset(size_t module);
  // Runs f on a module under the lock, for whatever the above lacks; f
  // must not call this simulator.
  void WithModule(size_t module, const std::function<void(Module&)>& f);

  // ---- faults --------------------------------------------------------------
  void AddFault(const Fault& fault);
  void ClearFaults();
  // Clears the faults and forgets the reply a stale fault would repeat: the
  // faults as on a new simulator.
  void ResetFaults();
  void ClearFault(FaultKind kind);
  std::vector<Fault> Faults() const;
  // Closes lines (a driver sees its port vanish) and brings them back
  // (a new pseudo-terminal path; the port map follows it).
  // which: "pty", "serial", "udp" or "all".
  bool Disappear(const std::string& which, std::string* error);
  bool Appear(std::string* error);

  // ---- the rest --------------------------------------------------------------
  SimStats Stats() const;
  // One line of the control protocol; the answer as sent on the socket.
  std::string Control(const std::string& line);
  bool SaveState(std::string* error);
  // Answers one request frame as if it arrived on a line at baudCode; the
  // frames put on the wire (empty when nothing answers), faults applied
  // and no delay. For tests and fuzzing.
  std::vector<uint8_t> Process(const uint8_t* frame, size_t size, int baudCode);

 private:
  using Lock = std::lock_guard<std::mutex>;

  // Runs one engine operation under the lock. The result is returned by
  // value, so that it is copied before the lock is released.
  template <class Op, class... Args>
  auto Locked(Op op, Args&&... args) {
    Lock lock(mu_);
    return (engine_.*op)(std::forward<Args>(args)...);
  }
  template <class Op, class... Args>
  auto Locked(Op op, Args&&... args) const {
    Lock lock(mu_);
    return (engine_.*op)(std::forward<Args>(args)...);
  }

  mutable std::mutex mu_;
  SimEngine engine_;
  std::thread thread_;
};

}  // namespace dqsim
