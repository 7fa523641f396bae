// A running simulator: the modules on one bus, the lines they are reached
// by (pseudo-terminal, serial device, UDP), the control socket, injected
// faults and the state file, driven by one poll loop.
//
// The loop runs either on the caller's thread (Run, used by the
// executable) or on a thread of its own (StartThread, for in-process
// tests). Every public method is safe to call from any thread: one lock
// guards the whole simulator and the loop holds it only while it handles
// events, never while it waits.
#pragma once

#include <poll.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ControlServer.h"
#include "Faults.h"
#include "Module.h"
#include "PtyPort.h"
#include "SerialPort.h"
#include "SimOptions.h"
#include "SimTime.h"
#include "UdpServer.h"

namespace dqsim {

// A copy of one module's state, for display and tests.
struct ModuleSnapshot {
  uint8_t address = 0;          // active bus address
  uint8_t baudCode = 0;         // active baud-rate code
  std::array<uint8_t, 64> registers{};  // as stored (0x3E/0x3F may be pending)
  uint32_t inputs = 0;          // as reported (negation applied)
  uint32_t physicalInputs = 0;
  bool inputPattern = false;
  uint32_t outputs = 0;         // as written over the bus
  uint32_t physicalOutputs = 0;
  std::array<uint32_t, 32> counters{};
  bool countersRunning = false;
  uint32_t status = 0;
  uint32_t conditions = 0;
  int64_t clock = 0;            // module wall seconds
  int64_t clockOffset = 0;
  PowerFailRecord powerFail;
};

struct SimStats {
  uint64_t requests = 0;         // valid requests heard on any line
  uint64_t answered = 0;         // replies planned (before faults)
  uint64_t sent = 0;             // replies put on a line
  uint64_t silenced = 0;         // replies swallowed by a fault
  uint64_t otherAddress = 0;     // requests for an address no module has
  uint64_t wrongBaud = 0;        // requests at a rate the module does not use
  uint64_t badDatagrams = 0;     // UDP datagrams that carry no request
  uint64_t noiseBytes = 0;       // stream bytes that made no request
};

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
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  void StartThread();
  void StopThread();
  // The clock the lines' timing runs on (wire timing, request gaps): the
  // steady clock unless set. A test steps a ManualTime and drives RunOnce
  // itself. Set it before Open; it must outlive the simulator.
  void SetLineClock(const TimeSource* clock);

  // With wire timing: the module's turnaround, from the end of a request
  // on the wire to the first byte of its reply. Well below the smallest
  // reply latency the program allows a module (5 ms).
  static constexpr int64_t kTurnaroundMicros = 1000;

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
  // Runs f on a module under the lock, for whatever the above lacks.
  void WithModule(size_t module, const std::function<void(Module&)>& f);

  // ---- faults --------------------------------------------------------------
  void AddFault(const Fault& fault);
  void ClearFaults();
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

  void Log(const std::string& text) const;
  bool OpenLines(std::string* error);
  void RegisterComPort();
  void UnregisterComPort();
  void PowerUpFromState(bool haveState, int64_t lastRunning);
  Module& ModuleAt(size_t index);
  const Module& ModuleAt(size_t index) const;
  void AfterPowerUp();

  // Handles one request heard on a line at baudCode; fills the reply plan
  // (send false when nobody answers), its bytes in a recycled buffer.
  void Answer(const dqbus::Request& request, int baudCode, ReplyPlan& plan);
  // Byte buffers of delivered replies, kept for the next ones so that an
  // exchange allocates nothing.
  std::vector<uint8_t> TakeBuffer();
  void GiveBack(std::vector<uint8_t>&& buffer);
  void HandleStream(StreamLine& line);
  void HandleUdp();
  void Schedule(Pending pending, int delayMs, size_t requestBytes, int baudCode);
  // Hands over what of the reply is due at now; true when it is all out.
  bool Deliver(Pending& pending, int64_t now);
  void FlushStream(StreamLine& line);
  void SendDue(int64_t now);
  void MaybeSaveState(int64_t now);
  void Wake();
  int64_t NowMicros() const;

  mutable std::recursive_mutex mu_;
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
  std::vector<uint8_t> udpIn_, udpOut_;      // datagram buffers of the loop
  std::string registeredPty_;  // path entered into the port map
  uint64_t generation_ = 0;    // changes when a line opens or closes

  bool open_ = false;     // lines may be open
  bool running_ = false;  // Open completed
  bool stateDirty_ = false;
  int64_t lastStateSave_ = 0;

  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace dqsim
