#include "Simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "ControlCommands.h"
#include "PortMap.h"
#include "Protocol.h"
#include "StateFile.h"
#include "core/BaudRates.h"
#include "core/ModuleCommands.h"

namespace dqsim {

namespace {

constexpr int64_t kStateHeartbeatMicros = 10 * 1000000;  // "last running" is at most this old
// One datagram per wake-up: poll is level-triggered, so a queued second one
// wakes the loop again at once, and the common case saves a futile recvfrom.
constexpr int kMaxDatagramsPerWake = 1;
constexpr size_t kMaxStreamBacklog = 64 * 1024;
constexpr int64_t kRequestGapMicros = 20000;
// A paced reply is written in chunks at least this far apart (its last
// byte still on time), so that 115200 Bd does not wake the loop per byte.
constexpr int64_t kPaceChunkMicros = 1000;

std::string Hex(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 15];
  }
  return text;
}

uint32_t RateOfCode(int code) {
  return code >= 0 && code < dqcore::kBaudCodeCount ? dqcore::kBaudRates[code] : 0;
}

}  // namespace

Simulator::Simulator(SimOptions options, const TimeSource* time) : options_(std::move(options)), time_(time) {
  if (time_ == nullptr) {
    ownTime_ = std::make_unique<SystemTime>();
    time_ = ownTime_.get();
  }
  if (options_.addresses.empty()) options_.addresses.push_back(0);
}

Simulator::~Simulator() {
  StopThread();
  Close();
}

void Simulator::SetLineClock(const TimeSource* clock) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  lineClock_ = clock;
}

int64_t Simulator::NowMicros() const {
  if (lineClock_ != nullptr) return lineClock_->MonotonicMicros();
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Simulator::Log(const std::string& text) const {
  if (options_.verbose) std::fprintf(stderr, "dq7184-sim: %s\n", text.c_str());
}

// ---- opening and closing -----------------------------------------------------

bool Simulator::Open(std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (open_) return true;
  stop_ = false;
  SimState state;
  bool haveState = false;
  if (!options_.statePath.empty()) {
    bool missing = false;
    std::string why;
    if (LoadStateFile(options_.statePath, state, missing, &why)) {
      haveState = true;
    } else if (!missing) {
      if (error != nullptr) *error = "state file: " + why;
      return false;
    }
  }

  modules_.clear();
  size_t count = std::max(options_.addresses.size(), state.modules.size());
  for (size_t i = 0; i < count; ++i) {
    ModuleState ms;
    if (i < state.modules.size()) {
      ms = state.modules[i];
    } else {
      ms.registers = ConfigRegisters(options_.addresses[i], options_.baudCode);
    }
    auto module = std::make_unique<Module>(ms.registers, options_.identity, *time_, options_.inputPattern);
    module->Clock().SetOffset(ms.clockOffset);
    module->SetPowerFail(ms.powerFail);
    modules_.push_back(std::move(module));
  }
  PowerUpFromState(haveState, state.lastRunning);

  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  open_ = true;
  std::string why;
  if (wakeFd_ < 0 || !OpenLines(&why) ||
      (!options_.controlPath.empty() && !control_.Open(options_.controlPath, &why))) {
    if (wakeFd_ < 0) why = "eventfd failed";
    Close();
    if (error != nullptr) *error = why;
    return false;
  }
  if (!options_.statePath.empty() && !SaveState(&why)) {
    Close();
    if (error != nullptr) *error = "state file: " + why;
    return false;
  }
  running_ = true;
  return true;
}

// A gap since the simulator last ran is a power failure of every module,
// from the time it was last running to now, on each module's own clock.
void Simulator::PowerUpFromState(bool haveState, int64_t lastRunning) {
  int64_t localShift = time_->PcLocalWallSeconds() - time_->PcSeconds();
  for (auto& module : modules_) {
    if (haveState && lastRunning > 0) {
      PowerFailRecord record;
      record.start = lastRunning + localShift + module->Clock().Offset();
      record.end = module->Clock().Now();
      module->PowerUp(&record);
    } else {
      module->PowerUp();
    }
  }
}

bool Simulator::OpenLines(std::string* error) {
  uint32_t rate = RateOfCode(modules_.front()->ActiveBaudCode());
  if (options_.pty && !pty_.IsOpen()) {
    if (!pty_.Open(rate, error)) return false;
    RegisterComPort();
    if (options_.comPort > 0 && registeredPty_.empty()) {
      if (error != nullptr) *error = "cannot enter COM" + std::to_string(options_.comPort) + " in " + PortMapPath();
      return false;
    }
  }
  if (!options_.serialDevice.empty() && !serial_.IsOpen() && !serial_.Open(options_.serialDevice, rate, error)) {
    return false;
  }
  if (options_.udp && !udp_.IsOpen() && !udp_.Open(options_.udpBind, options_.udpPort, error)) return false;
  lines_.clear();
  for (StreamPort* port : {static_cast<StreamPort*>(&pty_), static_cast<StreamPort*>(&serial_)}) {
    if (port->IsOpen()) {
      lines_.emplace_back();
      lines_.back().port = port;
    }
  }
  ++generation_;
  Wake();
  return true;
}

std::string Simulator::PortMapPath() const {
  return options_.portMapPath.empty() ? dqports::MapFilePath() : options_.portMapPath;
}

void Simulator::RegisterComPort() {
  if (options_.comPort <= 0 || !pty_.IsOpen()) return;
  UnregisterComPort();
  std::string map = PortMapPath();
  if (!map.empty() && dqports::SetEntryIn(map, options_.comPort, pty_.Path()) == 0) {
    registeredPty_ = pty_.Path();
    Log("COM" + std::to_string(options_.comPort) + " -> " + registeredPty_ + " in " + map);
  } else {
    Log("cannot enter COM" + std::to_string(options_.comPort) + " in the port map " + map);
  }
}

void Simulator::UnregisterComPort() {
  if (registeredPty_.empty()) return;
  std::string map = PortMapPath();
  auto current = dqports::LookupIn(map, options_.comPort);
  if (current && *current == registeredPty_) dqports::SetEntryIn(map, options_.comPort, std::string());
  registeredPty_.clear();
}

void Simulator::Close() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (!open_) return;
  // A start that failed half-way leaves the state file as it found it.
  if (running_ && !options_.statePath.empty()) {
    std::string why;
    if (!SaveState(&why)) std::fprintf(stderr, "dq7184-sim: %s\n", why.c_str());
  }
  running_ = false;
  RequestStop();  // a loop still running on its thread ends
  UnregisterComPort();
  pty_.Close();
  serial_.Close();
  udp_.Close();
  control_.Close();
  lines_.clear();
  pending_.clear();
  ++generation_;
  if (wakeFd_ >= 0) close(wakeFd_);
  wakeFd_ = -1;
  open_ = false;
}

// ---- the loop -------------------------------------------------------------------

void Simulator::Wake() {
  if (wakeFd_ >= 0) {
    uint64_t one = 1;
    ssize_t ignored = write(wakeFd_, &one, sizeof one);
    (void)ignored;
  }
}

void Simulator::RequestStop() {
  stop_ = true;
  Wake();
}

void Simulator::Run() {
  while (!stop_) RunOnce(1000);
}

void Simulator::StartThread() {
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
}

void Simulator::StopThread() {
  if (!thread_.joinable()) return;
  RequestStop();
  thread_.join();
}

void Simulator::RunOnce(int maxWaitMs) {
  std::vector<pollfd>& fds = pollFds_;
  fds.clear();
  size_t lineCount = 0, udpIndex = 0, controlIndex = 0, controlCount = 0;
  uint64_t generation = 0;
  // Replies are due to the microsecond (wire timing at 115200 Bd), so the
  // wait is not rounded up to whole milliseconds.
  int64_t timeoutUs = static_cast<int64_t>(maxWaitMs) * 1000;
  {
    std::lock_guard<std::recursive_mutex> lock(mu_);
    if (!open_) return;
    int64_t now = NowMicros();
    for (auto& module : modules_) module->Advance();
    SendDue(now);
    MaybeSaveState(now);
    fds.push_back(pollfd{wakeFd_, POLLIN, 0});
    for (const auto& line : lines_) {
      short events = line.out.empty() ? POLLIN : static_cast<short>(POLLIN | POLLOUT);
      fds.push_back(pollfd{line.port->Fd(), events, 0});
    }
    lineCount = lines_.size();
    udpIndex = fds.size();
    if (udp_.IsOpen()) fds.push_back(pollfd{udp_.Fd(), POLLIN, 0});
    controlIndex = fds.size();
    controlCount = control_.AddPollFds(fds);
    for (const auto& p : pending_) {
      int64_t wake = p.NextDue();
      if (p.sent > 0) wake = std::min(p.DueOf(p.bytes.size() - 1), std::max(wake, now + kPaceChunkMicros));
      timeoutUs = std::clamp<int64_t>(wake - now, 0, timeoutUs);
    }
    generation = generation_;
  }
  timespec timeout{static_cast<time_t>(timeoutUs / 1000000), static_cast<long>(timeoutUs % 1000000) * 1000};
  int ready = ppoll(fds.data(), fds.size(), &timeout, nullptr);
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (!open_) return;
  if (fds[0].revents & POLLIN) {
    uint64_t drained;
    ssize_t ignored = read(wakeFd_, &drained, sizeof drained);
    (void)ignored;
  }
  if (ready <= 0 || generation != generation_) return;
  for (size_t i = 0; i < lineCount && generation == generation_; ++i) {
    short revents = fds[1 + i].revents;
    if (revents & (POLLIN | POLLHUP | POLLERR)) HandleStream(lines_[i]);
    // A line that went away takes its entry with it.
    if (generation == generation_ && (revents & POLLOUT)) FlushStream(lines_[i]);
  }
  if (udp_.IsOpen() && udpIndex < controlIndex && (fds[udpIndex].revents & POLLIN)) HandleUdp();
  if (controlCount > 0) {
    control_.HandleEvents(&fds[controlIndex], controlCount, [this](const std::string& text, bool& close) {
      return RunControlLine(*this, text, close);
    });
  }
  int64_t now = NowMicros();
  SendDue(now);
  MaybeSaveState(now);
}

void Simulator::HandleStream(StreamLine& line) {
  uint8_t buffer[4096];
  for (;;) {
    ssize_t n = line.port->Read(buffer, sizeof buffer);
    if (n == 0) return;
    if (n < 0) {
      std::fprintf(stderr, "dq7184-sim: %s %s is gone\n", line.port->Kind(), line.port->Path().c_str());
      line.port->Close();
      line.out.clear();
      std::string ignored;
      Disappear(line.port->Kind(), &ignored);
      return;
    }
    uint32_t rate = line.port->LineRate();
    int64_t now = NowMicros();
    if (rate != line.rate) {  // bytes sent at another rate would not survive the change
      line.stream.Clear();
      line.rate = rate;
    }
    // A master never pauses inside a request: a fragment left waiting longer
    // than 20 ms plus two byte times is dropped.
    if (line.stream.Pending() > 0 &&
        now - line.lastByte > kRequestGapMicros + static_cast<int64_t>(dqcore::WireTimeMicros(2, rate))) {
      stats_.noiseBytes += line.stream.Pending();
      line.stream.Clear();
    }
    line.lastByte = now;
    if (options_.verbose) {
      Log(std::string(line.port->Kind()) + " in @" + std::to_string(rate) + ": " + Hex(buffer, static_cast<size_t>(n)));
    }
    size_t droppedBefore = line.stream.DroppedBytes();
    const std::vector<dqbus::Request>& requests = line.stream.Feed(buffer, static_cast<size_t>(n));
    stats_.noiseBytes += line.stream.DroppedBytes() - droppedBefore;
    int code = dqcore::BaudCodeOf(rate);
    for (const auto& request : requests) {
      ReplyPlan plan;
      Answer(request, code, plan);
      if (!plan.send) {
        GiveBack(std::move(plan.bytes));
        continue;
      }
      auto send = [&](std::vector<uint8_t> bytes, int delayMs) {
        Pending pending;
        pending.port = line.port;
        pending.bytes = std::move(bytes);
        Schedule(std::move(pending), delayMs, dqbus::kRequestSize, code);
      };
      for (auto& extra : plan.before) send(std::move(extra.bytes), extra.delayMs);
      send(std::move(plan.bytes), plan.delayMs);
      for (auto& extra : plan.after) send(std::move(extra.bytes), extra.delayMs);
    }
  }
}

void Simulator::HandleUdp() {
  std::vector<uint8_t>& datagram = udpIn_;
  UdpPeer peer;
  for (int i = 0; i < kMaxDatagramsPerWake && udp_.Receive(datagram, peer); ++i) {
    dqbus::UdpHeader header;
    const uint8_t* frame = nullptr;
    size_t frameSize = 0;
    if (options_.verbose) Log("udp in: " + Hex(datagram.data(), datagram.size()));
    // The converter forwards exactly one whole request frame at one of the
    // nine rates: a datagram of another version or kind, with a baud code
    // above 8, or with anything before, after or instead of one request
    // frame is dropped. The reserved byte is not looked at.
    if (!dqbus::DecodeUdp(datagram.data(), datagram.size(), header, frame, frameSize) ||
        header.kind != dqbus::kUdpKindRequest || header.baudCode >= dqcore::kBaudCodeCount) {
      ++stats_.badDatagrams;
      continue;
    }
    auto request = dqbus::DecodeRequest(frame, frameSize);
    if (!request) {
      ++stats_.badDatagrams;
      continue;
    }
    ReplyPlan plan;
    Answer(*request, header.baudCode, plan);
    if (!plan.send) {
      GiveBack(std::move(plan.bytes));
      continue;
    }
    auto send = [&](std::vector<uint8_t> bytes, int delayMs) {
      Pending pending;
      pending.udp = true;
      pending.peer = peer;
      pending.sequence = header.sequence;
      pending.baudCode = header.baudCode;
      pending.bytes = std::move(bytes);
      Schedule(std::move(pending), delayMs, dqbus::kRequestSize, header.baudCode);
    };
    for (auto& extra : plan.before) send(std::move(extra.bytes), extra.delayMs);
    send(std::move(plan.bytes), plan.delayMs);
    for (auto& extra : plan.after) send(std::move(extra.bytes), extra.delayMs);
  }
}

void Simulator::Answer(const dqbus::Request& request, int baudCode, ReplyPlan& plan) {
  ++stats_.requests;
  plan.send = false;
  Module* target = nullptr;
  bool addressKnown = false;
  for (auto& module : modules_) {
    if (module->ActiveAddress() != request.address) continue;
    addressKnown = true;
    if (module->ActiveBaudCode() == baudCode) {
      target = module.get();
      break;
    }
  }
  if (target == nullptr) {
    if (addressKnown) {
      ++stats_.wrongBaud;
      Log("request for " + std::to_string(request.address) + " at baud code " + std::to_string(baudCode) +
          " ignored: the module runs at another rate");
    } else {
      ++stats_.otherAddress;
      Log("request for address " + std::to_string(request.address) + " ignored: no such module");
    }
    return;
  }
  dqbus::Reply reply = target->Execute(request);
  if (reply.status == dqbus::msOk &&
      (request.command == dqcmd::kCmdWriteRegister ||
       (request.command == dqcmd::kCmdWriteModule &&
        (request.subcode == dqcmd::kSubTime || request.subcode == dqcmd::kSubDate)))) {
    stateDirty_ = true;
  }
  ++stats_.answered;
  plan.bytes = TakeBuffer();
  faults_.Apply(std::move(reply), plan);
  if (!plan.send) {
    ++stats_.silenced;
    Log("reply swallowed by a fault");
  }
}

std::vector<uint8_t> Simulator::TakeBuffer() {
  if (spare_.empty()) return {};
  std::vector<uint8_t> buffer = std::move(spare_.back());
  spare_.pop_back();
  return buffer;
}

void Simulator::GiveBack(std::vector<uint8_t>&& buffer) {
  // A few are enough for the replies in flight; a big one (a fault's
  // oversized frame) is not worth keeping.
  constexpr size_t kMaxSpare = 8;
  constexpr size_t kMaxKeptCapacity = 1024;
  if (spare_.size() >= kMaxSpare || buffer.capacity() == 0 || buffer.capacity() > kMaxKeptCapacity) return;
  buffer.clear();
  spare_.push_back(std::move(buffer));
}

int64_t Simulator::Pending::DueOf(size_t byte) const {
  return paceRate == 0 ? due : due + static_cast<int64_t>(dqcore::WireTimeMicros(byte, paceRate));
}

// With wire timing a reply starts as a module on the wire would: after the
// request's last byte and the module's turnaround, then byte after byte at
// the rate. Over UDP the converter sends the reply on once it has all of it.
void Simulator::Schedule(Pending pending, int delayMs, size_t requestBytes, int baudCode) {
  int64_t now = NowMicros();
  int64_t delay = static_cast<int64_t>(delayMs) * 1000;
  uint32_t rate = RateOfCode(baudCode);
  if (options_.wireTiming && rate != 0) {
    bool uart = !pending.udp && pending.port->PacedByLine();
    if (!uart) delay += static_cast<int64_t>(dqcore::WireTimeMicros(requestBytes, rate));
    delay += kTurnaroundMicros;
    if (pending.udp) {
      delay += static_cast<int64_t>(dqcore::WireTimeMicros(pending.bytes.size(), rate));
    } else if (!uart) {
      // A byte is there once its stop bit is: the first one byte time
      // after the module began to send.
      pending.paceRate = rate;
      delay += static_cast<int64_t>(dqcore::WireTimeMicros(1, rate));
    }
  }
  pending.due = now + delay;
  if (options_.wireTiming && !pending.udp) {
    // The bus carries one reply at a time.
    for (const auto& p : pending_) {
      if (!p.udp && p.port == pending.port) pending.due = std::max(pending.due, p.End());
    }
  }
  if (pending.due <= now && Deliver(pending, now)) {
    GiveBack(std::move(pending.bytes));
    return;
  }
  pending_.push_back(std::move(pending));
}

void Simulator::SendDue(int64_t now) {
  // In order of due time, so that equal delays keep the order of arrival:
  // an insertion sort, stable and without the temporary buffer of
  // std::stable_sort, for the few replies in flight.
  for (size_t i = 1; i < pending_.size(); ++i) {
    for (size_t j = i; j > 0 && pending_[j].NextDue() < pending_[j - 1].NextDue(); --j) {
      std::swap(pending_[j], pending_[j - 1]);
    }
  }
  size_t kept = 0;
  for (size_t i = 0; i < pending_.size(); ++i) {
    if (pending_[i].NextDue() <= now && Deliver(pending_[i], now)) {
      GiveBack(std::move(pending_[i].bytes));
      continue;
    }
    if (kept != i) pending_[kept] = std::move(pending_[i]);
    ++kept;
  }
  pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(kept), pending_.end());
}

bool Simulator::Deliver(Pending& pending, int64_t now) {
  if (pending.udp) {
    if (!udp_.IsOpen()) return true;
    dqbus::UdpHeader header;
    header.kind = dqbus::kUdpKindReply;
    header.sequence = pending.sequence;
    header.baudCode = pending.baudCode;
    std::vector<uint8_t>& datagram = udpOut_;
    datagram.resize(dqbus::kUdpHeaderSize + pending.bytes.size());
    dqbus::EncodeUdpInto(header, pending.bytes.data(), pending.bytes.size(), datagram.data(), datagram.size());
    if (options_.verbose) Log("udp out: " + Hex(datagram.data(), datagram.size()));
    if (udp_.Send(datagram, pending.peer)) ++stats_.sent;
    return true;
  }
  for (auto& line : lines_) {
    if (line.port != pending.port || !line.port->IsOpen()) continue;
    if (pending.sent == 0) {
      if (options_.verbose) Log(std::string(line.port->Kind()) + " out: " + Hex(pending.bytes.data(), pending.bytes.size()));
      if (line.out.size() + pending.bytes.size() > kMaxStreamBacklog) {
        Log("nobody reads the line: reply dropped");
        return true;
      }
      ++stats_.sent;
    }
    size_t upTo = pending.bytes.size();
    if (pending.paceRate != 0) {
      // Byte i is due once i byte times have passed since the first.
      int64_t passed = std::max<int64_t>(now - pending.due, 0);
      upTo = std::min<size_t>(upTo, 1 + static_cast<size_t>(passed * pending.paceRate / 10000000));
    }
    line.out.insert(line.out.end(), pending.bytes.begin() + static_cast<std::ptrdiff_t>(pending.sent),
                    pending.bytes.begin() + static_cast<std::ptrdiff_t>(upTo));
    pending.sent = upTo;
    FlushStream(line);
    return pending.sent == pending.bytes.size();
  }
  return true;  // the line is gone, and the reply with it
}

void Simulator::FlushStream(StreamLine& line) {
  if (line.out.empty()) return;
  size_t written = 0;
  bool alive = line.port->Write(line.out.data(), line.out.size(), written);
  line.out.erase(line.out.begin(), line.out.begin() + static_cast<std::ptrdiff_t>(written));
  if (!alive) line.out.clear();
}

void Simulator::MaybeSaveState(int64_t now) {
  if (options_.statePath.empty()) return;
  if (!stateDirty_ && now - lastStateSave_ < kStateHeartbeatMicros) return;
  std::string why;
  if (!SaveState(&why)) {
    std::fprintf(stderr, "dq7184-sim: %s\n", why.c_str());
    lastStateSave_ = now;  // try again at the next heartbeat, not at every wake-up
    stateDirty_ = false;
  }
}

bool Simulator::SaveState(std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (options_.statePath.empty()) {
    if (error != nullptr) *error = "no state file given";
    return false;
  }
  SimState state;
  state.lastRunning = time_->PcSeconds();
  for (const auto& module : modules_) {
    ModuleState ms;
    ms.registers = module->Registers();
    ms.clockOffset = module->Clock().Offset();
    ms.powerFail = module->PowerFail();
    state.modules.push_back(ms);
  }
  if (!SaveStateFile(options_.statePath, state, error)) return false;
  stateDirty_ = false;
  lastStateSave_ = NowMicros();
  return true;
}

// ---- public operations -----------------------------------------------------------

std::string Simulator::PtyPath() const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return pty_.IsOpen() ? pty_.Path() : std::string();
}

uint16_t Simulator::UdpPort() const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return udp_.IsOpen() ? udp_.Port() : 0;
}

std::string Simulator::ControlPath() const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return control_.IsOpen() ? control_.Path() : std::string();
}

size_t Simulator::ModuleCount() const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return modules_.size();
}

int Simulator::FindModule(uint8_t address) const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  for (size_t i = 0; i < modules_.size(); ++i) {
    if (modules_[i]->ActiveAddress() == address) return static_cast<int>(i);
  }
  return -1;
}

Module& Simulator::ModuleAt(size_t index) { return *modules_.at(index); }
const Module& Simulator::ModuleAt(size_t index) const { return *modules_.at(index); }

ModuleSnapshot Simulator::Snapshot(size_t index) const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  Module& m = *modules_.at(index);
  m.Advance();
  ModuleSnapshot s;
  s.address = m.ActiveAddress();
  s.baudCode = m.ActiveBaudCode();
  for (int r = 0; r < 64; ++r) s.registers[r] = m.Registers().Read(static_cast<uint8_t>(r));
  s.inputs = m.Inputs();
  s.physicalInputs = m.PhysicalInputs();
  s.inputPattern = m.InputPatternOn();
  s.outputs = m.Outputs();
  s.physicalOutputs = m.PhysicalOutputs();
  for (int n = 0; n < 32; ++n) s.counters[n] = m.Counter(n);
  s.countersRunning = m.CountersRunning();
  s.status = m.StatusRegister();
  s.conditions = m.Conditions();
  s.clock = m.Clock().Now();
  s.clockOffset = m.Clock().Offset();
  s.powerFail = m.PowerFail();
  return s;
}

void Simulator::WithModule(size_t index, const std::function<void(Module&)>& f) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  f(ModuleAt(index));
  stateDirty_ = true;
}

void Simulator::SetInputs(size_t index, uint32_t physical) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).SetPhysicalInputs(physical);
}

void Simulator::SetInputPattern(size_t index, bool on) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).SetInputPattern(on);
}

void Simulator::Pulse(size_t index, int channel, uint32_t count) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).Pulse(channel, count);
}

uint8_t Simulator::WriteRegister(size_t index, uint8_t reg, uint8_t value) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  uint8_t status = ModuleAt(index).Registers().Write(reg, value);
  if (status == dqbus::msOk) stateDirty_ = true;
  return status;
}

void Simulator::SetStatusBits(size_t index, uint32_t mask) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).SetStatusBits(mask);
}

void Simulator::ClearStatusBits(size_t index, uint32_t mask) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).ClearStatusBits(mask);
}

void Simulator::SetCondition(size_t index, int bit, bool on) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).SetCondition(bit, on);
}

void Simulator::Restart(size_t index, int64_t offSeconds) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).Restart(offSeconds);
  AfterPowerUp();
}

void Simulator::Reset(size_t index) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  ModuleAt(index).Reset();
  AfterPowerUp();
}

// A real serial line follows the first module's (possibly new) rate.
void Simulator::AfterPowerUp() {
  serial_.FollowModuleRate(RateOfCode(modules_.front()->ActiveBaudCode()));
  for (auto& line : lines_) line.stream.Clear();
  stateDirty_ = true;
}

void Simulator::AddFault(const Fault& fault) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  faults_.Add(fault);
}

void Simulator::ClearFaults() {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  faults_.Clear();
}

void Simulator::ClearFault(FaultKind kind) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  faults_.Clear(kind);
}

std::vector<Fault> Simulator::Faults() const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return faults_.Active();
}

bool Simulator::Disappear(const std::string& which, std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  bool all = which == "all" || which.empty();
  if (!all && which != "pty" && which != "serial" && which != "udp") {
    if (error != nullptr) *error = "disappear what: pty, serial, udp or all";
    return false;
  }
  if (all || which == "pty") pty_.Close();
  if (all || which == "serial") serial_.Close();
  if (all || which == "udp") udp_.Close();
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                [](const Pending& p) { return p.udp ? false : !p.port->IsOpen(); }),
                 pending_.end());
  lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [](const StreamLine& l) { return !l.port->IsOpen(); }),
               lines_.end());
  ++generation_;
  Wake();
  return true;
}

bool Simulator::Appear(std::string* error) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  if (!open_) {
    if (error != nullptr) *error = "the simulator is not open";
    return false;
  }
  return OpenLines(error);
}

SimStats Simulator::Stats() const {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  return stats_;
}

std::string Simulator::Control(const std::string& line) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  bool close = false;
  return RunControlLine(*this, line, close);
}

std::vector<uint8_t> Simulator::Process(const uint8_t* frame, size_t size, int baudCode) {
  std::lock_guard<std::recursive_mutex> lock(mu_);
  auto request = dqbus::DecodeRequest(frame, size);
  if (!request) return {};
  ReplyPlan plan;
  Answer(*request, baudCode, plan);
  return plan.send ? plan.AllBytes() : std::vector<uint8_t>{};
}

}  // namespace dqsim
