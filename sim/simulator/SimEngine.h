// The simulator without its lock: the modules on one bus, the lines they
// are reached by (pseudo-terminal, serial device, UDP), the control socket,
// injected faults and the state file. Simulator runs it under one lock and
// waits for traffic between its PreparePoll and HandlePolled; every other
// call is made with that lock held.
//
// Opening and closing (lines, port map, state file) are in
// SimEngineOpen.cpp, the poll loop and the replies in SimEngineLoop.cpp,
// the operations on modules and faults in SimEngine.cpp.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/control/ControlServer.h"
#include "sim/control/SimControl.h"
#include "sim/lines/PtyPort.h"
#include "sim/lines/SerialPort.h"
#include "sim/lines/UdpServer.h"
#include "sim/model/Faults.h"
#include "sim/model/Module.h"
#include "sim/model/SimTime.h"
#include "sim/simulator/SimOptions.h"

namespace dqsim {

// The engine's operations beyond the control commands', each named once in
// the form of DQSIM_CONTROL_OPERATIONS; Simulator runs them under its lock.
#define DQSIM_ENGINE_OPERATIONS(X)                                                                       \
  /* Loads the state file, powers the modules up and opens the lines and the */                          \
  /* control socket. On failure error says why and nothing stays open. */                                \
  X(bool, Open, (std::string* error), (error), )                                                         \
  /* Saves the state, closes every line and socket, removes the port-map */                              \
  /* entry and the control socket file. */                                                               \
  X(void, Close, (), (), )                                                                               \
  X(std::string, PortMapPath, (), (), const)                                                             \
  /* The clock the lines' timing runs on (wire timing, request gaps): the */                             \
  /* steady clock unless set. Set it before Open; it must outlive the engine. */                         \
  X(void, SetLineClock, (const TimeSource* clock), (clock), )                                            \
  /* Runs f on a module, for whatever the operations lack. */                                            \
  X(void, WithModule, (size_t module, const std::function<void(Module&)>& f), (module, f), )             \
  /* Clears the faults and forgets the reply a stale fault would repeat: */                              \
  /* the faults as on a new simulator. */                                                                \
  X(void, ResetFaults, (), (), )                                                                         \
  /* One line of the control protocol; the answer as sent on the socket. */                              \
  X(std::string, Control, (const std::string& line), (line), )                                           \
  /* Answers one request frame as if it arrived on a line at baudCode; the */                            \
  /* frames put on the wire (empty when nothing answers), faults applied */                              \
  /* and no delay. For tests and fuzzing. */                                                             \
  X(std::vector<uint8_t>, Process, (const uint8_t* frame, size_t size, int baudCode), (frame, size, baudCode), )

#define DQSIM_DECLARE_ENGINE_OPERATION(result, name, parameters, arguments, qualifier) \
  result name parameters qualifier;

class SimEngine : public SimControl {
 public:
  // time: the clock the modules run on (a SystemTime when null); it must
  // outlive the engine.
  explicit SimEngine(SimOptions options, const TimeSource* time = nullptr);
  ~SimEngine() override;
  SimEngine(const SimEngine&) = delete;
  SimEngine& operator=(const SimEngine&) = delete;

  // With wire timing: the module's turnaround, from the end of a request
  // on the wire to the first byte of its reply. Well below the smallest
  // reply latency the program allows a module (5 ms).
  static constexpr int64_t kTurnaroundMicros = 1000;

  // The control commands' operations (SimControl.h) and the engine's own
  // (above); their bodies are in SimEngineOpen.cpp (opening, closing, lines
  // and state), SimEngineLoop.cpp (Process) and SimEngine.cpp (the rest).
  DQSIM_CONTROL_OPERATIONS(DQSIM_OVERRIDE_OPERATION)
  DQSIM_ENGINE_OPERATIONS(DQSIM_DECLARE_ENGINE_OPERATION)

  // ---- the loop (SimEngineLoop.cpp) ------------------------------------------
  // Sends what is due and fills the poll set; the wait until the next
  // reply is due, at most maxWaitMs. False when the engine is not open.
  bool PreparePoll(int maxWaitMs, int64_t& timeoutMicros);
  std::vector<pollfd>& PollFds() { return pollFds_; }
  // Handles what the wait on PollFds() found (ready: what ppoll returned).
  void HandlePolled(int ready);
  // Safe from a signal handler and without the lock.
  void RequestStop() override;
  void ClearStop() { stop_ = false; }
  bool StopRequested() const { return stop_.load(); }

 private:
  // A reply on its way: a datagram, or a stream reply whose bytes are
  // handed to the line as they fall due.
  struct Pending {
    int64_t due = 0;  // monotonic micros: the datagram, or a stream reply's first byte
    uint32_t paceRate = 0;  // > 0: byte i is due i byte times at this rate after the first
    size_t sent = 0;        // bytes of a stream reply handed to the line so far
    bool udp = false;
    StreamPort* port = nullptr;
    UdpPeer peer;
    uint16_t sequence = 0;
    uint8_t baudCode = 0;
    std::vector<uint8_t> bytes;
    int64_t DueOf(size_t byte) const;  // when a byte of the reply is due
    int64_t NextDue() const { return DueOf(sent); }
    int64_t End() const { return DueOf(bytes.size()); }  // when the line is free again
  };
  struct StreamLine {
    StreamPort* port = nullptr;
    dqbus::RequestStream stream;
    uint32_t rate = 0;  // rate of the bytes in stream
    int64_t lastByte = 0;  // monotonic micros of the latest bytes
    std::vector<uint8_t> out;  // bytes the line did not take yet
  };
  // Where PreparePoll put what in the poll set.
  struct PollLayout {
    size_t lines = 0, udp = 0, control = 0, controlCount = 0;
    uint64_t generation = 0;
  };

  static uint32_t RateOfCode(int code);  // 0 for a code outside the nine
  void Log(const std::string& text) const;
  int64_t NowMicros() const;

  bool OpenLines(std::string* error);
  void RegisterComPort();
  void UnregisterComPort();
  void PowerUpFromState(bool haveState, int64_t lastRunning);
  void MaybeSaveState(int64_t now);

  Module& ModuleAt(size_t index);
  const Module& ModuleAt(size_t index) const;
  void AfterPowerUp();

  // Handles one request heard on a line at baudCode; fills the reply plan
  // (send false when nobody answers), its bytes in a recycled buffer.
  void Answer(const dqbus::Request& request, int baudCode, ReplyPlan& plan);
  void AddCollidingReplies(const dqbus::Request& request, int baudCode, const Module* target, ReplyPlan& plan);
  // Byte buffers of delivered replies, kept for the next ones so that an
  // exchange allocates nothing.
  std::vector<uint8_t> TakeBuffer();
  // The module's answer, with a register-write fault applied when one acts.
  dqbus::Reply ExecuteWithWriteFaults(Module& target, const dqbus::Request& request);
  void GiveBack(std::vector<uint8_t>&& buffer);
  void HandleStream(StreamLine& line);
  void HandleUdp();
  void Schedule(Pending pending, int delayMs, size_t requestBytes, int baudCode);
  // Hands over what of the reply is due at now; true when it is all out.
  bool Deliver(Pending& pending, int64_t now);
  void FlushStream(StreamLine& line);
  void SendDue(int64_t now);
  void Wake();

  SimOptions options_;
  std::unique_ptr<TimeSource> ownTime_;
  const TimeSource* time_;
  const TimeSource* lineClock_ = nullptr;
  std::vector<std::unique_ptr<Module>> modules_;
  FaultSet faults_;
  SimStats stats_;

  PtyPort pty_;
  SerialPort serial_;
  UdpServer udp_;
  ControlServer control_;
  std::vector<StreamLine> lines_;
  std::vector<Pending> pending_;
  std::vector<std::vector<uint8_t>> spare_;  // see TakeBuffer
  std::vector<pollfd> pollFds_;              // the loop's poll set, kept between loops
  PollLayout layout_;
  std::vector<uint8_t> udpIn_, udpOut_;      // datagram buffers of the loop
  std::string registeredPty_;  // path entered into the port map
  uint64_t generation_ = 0;    // changes when a line opens or closes

  bool open_ = false;     // lines may be open
  bool running_ = false;  // Open completed
  bool stateDirty_ = false;
  int64_t lastStateSave_ = 0;

  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
};

}  // namespace dqsim
