// The poll loop: requests heard on the lines, the replies planned, paced
// and delivered, the control socket served.
#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "Protocol.h"
#include "core/BaudRates.h"
#include "core/ModuleCommands.h"
#include "sim/control/ControlCommands.h"
#include "sim/model/BusCollision.h"
#include "sim/simulator/SimEngine.h"

namespace dqsim {

namespace {

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

}  // namespace

bool SimEngine::PreparePoll(int maxWaitMs, int64_t& timeoutMicros) {
  std::vector<pollfd>& fds = pollFds_;
  fds.clear();
  if (!open_) return false;
  // Replies are due to the microsecond (wire timing at 115200 Bd), so the
  // wait is not rounded up to whole milliseconds.
  timeoutMicros = static_cast<int64_t>(maxWaitMs) * 1000;
  int64_t now = NowMicros();
  for (auto& module : modules_) module->Advance();
  SendDue(now);
  MaybeSaveState(now);
  fds.push_back(pollfd{wakeFd_, POLLIN, 0});
  for (const auto& line : lines_) {
    short events = line.out.empty() ? POLLIN : static_cast<short>(POLLIN | POLLOUT);
    fds.push_back(pollfd{line.port->Fd(), events, 0});
  }
  layout_.lines = lines_.size();
  layout_.udp = fds.size();
  if (udp_.IsOpen()) fds.push_back(pollfd{udp_.Fd(), POLLIN, 0});
  layout_.control = fds.size();
  layout_.controlCount = control_.AddPollFds(fds);
  // Commands left over from the turn before run at once, after a look at
  // the lines.
  if (control_.HasWork()) timeoutMicros = 0;
  for (const auto& p : pending_) {
    int64_t wake = p.NextDue();
    if (p.sent > 0) wake = std::min(p.DueOf(p.bytes.size() - 1), std::max(wake, now + kPaceChunkMicros));
    timeoutMicros = std::clamp<int64_t>(wake - now, 0, timeoutMicros);
  }
  layout_.generation = generation_;
  return true;
}

void SimEngine::HandlePolled(int ready) {
  if (!open_) return;
  std::vector<pollfd>& fds = pollFds_;
  if (fds[0].revents & POLLIN) {
    uint64_t drained;
    ssize_t ignored = read(wakeFd_, &drained, sizeof drained);
    (void)ignored;
  }
  const uint64_t generation = layout_.generation;
  if (ready < 0 || generation != generation_) return;
  for (size_t i = 0; ready > 0 && i < layout_.lines && generation == generation_; ++i) {
    short revents = fds[1 + i].revents;
    if (revents & (POLLIN | POLLHUP | POLLERR)) HandleStream(lines_[i]);
    // A line that went away takes its entry with it.
    if (generation == generation_ && (revents & POLLOUT)) FlushStream(lines_[i]);
  }
  if (ready > 0 && udp_.IsOpen() && layout_.udp < layout_.control && (fds[layout_.udp].revents & POLLIN)) {
    HandleUdp();
  }
  if (layout_.controlCount > 0) {
    control_.HandleEvents(&fds[layout_.control], layout_.controlCount, [this](const std::string& text, bool& close) {
      return RunControlLine(*this, text, close);
    });
  }
  int64_t now = NowMicros();
  SendDue(now);
  MaybeSaveState(now);
}

void SimEngine::Wake() {
  if (wakeFd_ >= 0) {
    uint64_t one = 1;
    ssize_t ignored = write(wakeFd_, &one, sizeof one);
    (void)ignored;
  }
}

void SimEngine::RequestStop() {
  stop_ = true;
  Wake();
}

void SimEngine::HandleStream(StreamLine& line) {
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

void SimEngine::HandleUdp() {
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

void SimEngine::Answer(const dqbus::Request& request, int baudCode, ReplyPlan& plan) {
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
    // Most requests on a bus are for other modules: their texts are made
    // only when they are printed.
    if (addressKnown) {
      ++stats_.wrongBaud;
      if (options_.verbose) {
        Log("request for " + std::to_string(request.address) + " at baud code " + std::to_string(baudCode) +
            " ignored: the module runs at another rate");
      }
    } else {
      ++stats_.otherAddress;
      if (options_.verbose) {
        Log("request for address " + std::to_string(request.address) + " ignored: no such module");
      }
    }
    return;
  }
  dqbus::Reply reply = ExecuteWithWriteFaults(*target, request);
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
  if (options_.sharedAddresses) AddCollidingReplies(request, baudCode, target, plan);
}

// Modules sharing the target's address and rate heard the request too and
// answer at the same time, each a byte time after the one before.
void SimEngine::AddCollidingReplies(const dqbus::Request& request, int baudCode, const Module* target,
                                    ReplyPlan& plan) {
  size_t lag = plan.send ? 1 : 0;
  for (auto& module : modules_) {
    if (module.get() == target || module->ActiveAddress() != request.address ||
        module->ActiveBaudCode() != baudCode) {
      continue;
    }
    std::vector<uint8_t> bytes = dqbus::EncodeReply(module->Execute(request));
    if (!plan.send) {  // the first reply was swallowed: this one goes out alone
      plan.send = true;
      plan.bytes = std::move(bytes);
      lag = 1;
      continue;
    }
    OverlayCollidingReply(plan.bytes, bytes, lag++);
    Log("replies of modules at address " + std::to_string(request.address) + " collide");
  }
}

dqbus::Reply SimEngine::ExecuteWithWriteFaults(Module& target, const dqbus::Request& request) {
  if (request.command != dqcmd::kCmdWriteRegister || request.params[1] != request.params[2]) {
    return target.Execute(request);
  }
  std::optional<FaultKind> fault = faults_.TakeWriteFault(request.params[1]);
  if (!fault) return target.Execute(request);
  // The register is read instead of written: it keeps its value, and the
  // reply becomes the write's, refused or acknowledged.
  dqbus::Request read = request;
  read.command = dqcmd::kCmdReadRegister;
  dqbus::Reply reply = target.Execute(read);
  reply.command = request.command;
  reply.data.clear();
  if (reply.status == dqbus::msOk && *fault == FaultKind::kRefuseWrite) reply.status = dqbus::msFailed;
  Log(std::string("write of register ") + std::to_string(request.params[1]) + " " +
      (*fault == FaultKind::kRefuseWrite ? "refused" : "lost") + " by a fault");
  return reply;
}

std::vector<uint8_t> SimEngine::TakeBuffer() {
  if (spare_.empty()) return {};
  std::vector<uint8_t> buffer = std::move(spare_.back());
  spare_.pop_back();
  return buffer;
}

void SimEngine::GiveBack(std::vector<uint8_t>&& buffer) {
  // A few are enough for the replies in flight; a big one (a fault's
  // oversized frame) is not worth keeping.
  constexpr size_t kMaxSpare = 8;
  constexpr size_t kMaxKeptCapacity = 1024;
  if (spare_.size() >= kMaxSpare || buffer.capacity() == 0 || buffer.capacity() > kMaxKeptCapacity) return;
  buffer.clear();
  spare_.push_back(std::move(buffer));
}

int64_t SimEngine::Pending::DueOf(size_t byte) const {
  return paceRate == 0 ? due : due + static_cast<int64_t>(dqcore::WireTimeMicros(byte, paceRate));
}

// With wire timing a reply starts as a module on the wire would: after the
// request's last byte and the module's turnaround, then byte after byte at
// the rate. Over UDP the converter sends the reply on once it has all of it.
void SimEngine::Schedule(Pending pending, int delayMs, size_t requestBytes, int baudCode) {
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

void SimEngine::SendDue(int64_t now) {
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

bool SimEngine::Deliver(Pending& pending, int64_t now) {
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

void SimEngine::FlushStream(StreamLine& line) {
  if (line.out.empty()) return;
  size_t written = 0;
  bool alive = line.port->Write(line.out.data(), line.out.size(), written);
  line.out.erase(line.out.begin(), line.out.begin() + static_cast<std::ptrdiff_t>(written));
  if (!alive) line.out.clear();
}

std::vector<uint8_t> SimEngine::Process(const uint8_t* frame, size_t size, int baudCode) {
  auto request = dqbus::DecodeRequest(frame, size);
  if (!request) return {};
  ReplyPlan plan;
  Answer(*request, baudCode, plan);
  if (!plan.send) return {};
  // A plan of one frame is its bytes.
  return plan.before.empty() && plan.after.empty() ? std::move(plan.bytes) : plan.AllBytes();
}

}  // namespace dqsim
