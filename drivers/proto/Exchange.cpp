#include "Exchange.h"

#include <algorithm>
#include <vector>

#include "ErrorCodes.h"

namespace dqbus {

namespace {

// Failures of one exchange, from the least to the most specific: the one
// reported is the most specific seen in any attempt.
int Rank(int32_t code) {
  switch (code) {
    case dqerr::kTimeout: return 1;
    case dqerr::kMalformed: return 2;
    case dqerr::kTruncated: return 3;
    case dqerr::kReplyTooLong: return 4;
    case dqerr::kCrc: return 5;
    case dqerr::kForeignAddress: return 6;
    case dqerr::kEchoMismatch: return 7;
    default: return 0;
  }
}

class Failures {
 public:
  void Note(int32_t code) {
    if (Rank(code) > Rank(worst_)) worst_ = code;
  }
  int32_t Worst() const { return worst_; }

 private:
  int32_t worst_ = dqerr::kTimeout;
};

struct AttemptOutcome {
  int32_t code = dqerr::kTimeout;
  Reply reply;
  bool heardNothing = false;  // not a byte arrived: the module may still answer later
  int64_t sentAt = 0;         // when the request went out
  int64_t tookAt = 0;         // when the reply was taken
};

// Checks a valid frame against the request; kOk when it is the reply.
int32_t Match(const Reply& reply, const Request& request) {
  if (reply.address != request.address) return dqerr::kForeignAddress;
  if (reply.command != request.command) return dqerr::kEchoMismatch;
  return dqerr::kOk;
}

// A whole frame of a datagram: kOk with the decoded reply, or why it is not one.
int32_t DecodeDatagramFrame(const std::vector<uint8_t>& frame, Reply& reply) {
  if (frame.empty()) return dqerr::kTruncated;
  if (frame[0] != kReplyStart) return dqerr::kMalformed;
  if (frame.size() < kReplyHeaderSize) return dqerr::kTruncated;
  size_t count = frame[4];
  if (count > kReplyMaxData) return dqerr::kReplyTooLong;
  size_t total = kReplyHeaderSize + count + 2;
  if (frame.size() < total) return dqerr::kTruncated;
  if (frame.size() > total) return dqerr::kReplyTooLong;
  auto decoded = DecodeReply(frame.data(), frame.size());
  if (!decoded) return dqerr::kCrc;
  reply = std::move(*decoded);
  return dqerr::kOk;
}

class Attempt {
 public:
  Attempt(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request,
          Failures& failures)
      : transport_(transport), clock_(clock), settings_(settings), request_(request), failures_(failures) {}

  AttemptOutcome Run() {
    AttemptOutcome outcome;
    int32_t code = transport_.BeginAttempt();
    if (code != dqerr::kOk) return Fault(code);
    auto frame = EncodeRequest(request_);
    int64_t start = clock_.NowMicros();
    firstDeadline_ = start + transport_.ReplyWindowMicros(settings_);
    hardDeadline_ = firstDeadline_ + transport_.RestWindowMicros(settings_, kReplyMaxSize);
    code = transport_.Write(frame.data(), frame.size(), firstDeadline_);
    if (code != dqerr::kOk) return Fault(code);
    AttemptOutcome result = transport_.CarriesDatagrams() ? WaitForDatagram() : WaitForStream();
    result.sentAt = start;
    if (result.code == dqerr::kOk) result.tookAt = clock_.NowMicros();
    return result;
  }

 private:
  static AttemptOutcome Fault(int32_t code) {
    AttemptOutcome outcome;
    outcome.code = code;
    return outcome;
  }

  AttemptOutcome WaitForDatagram() {
    std::vector<uint8_t> frame;
    for (;;) {
      frame.clear();
      bool arrived = false;
      int32_t code = transport_.Receive(firstDeadline_, frame, arrived);
      if (code != dqerr::kOk) return Fault(code);
      if (!arrived) {
        if (clock_.NowMicros() >= firstDeadline_) return Fault(dqerr::kTimeout);
        continue;
      }
      AttemptOutcome outcome;
      code = DecodeDatagramFrame(frame, outcome.reply);
      if (code == dqerr::kOk) code = Match(outcome.reply, request_);
      if (code == dqerr::kOk) {
        outcome.code = dqerr::kOk;
        return outcome;
      }
      failures_.Note(code);
    }
  }

  // Returns true when the events hold the reply.
  bool Take(const std::vector<ReplyStream::Event>& events, AttemptOutcome& outcome) {
    for (const auto& event : events) {
      switch (event.kind) {
        case ReplyStream::Event::kFrame: {
          int32_t code = Match(event.reply, request_);
          if (code == dqerr::kOk) {
            outcome.code = dqerr::kOk;
            outcome.reply = event.reply;
            return true;
          }
          failures_.Note(code);
          break;
        }
        case ReplyStream::Event::kBadCrc: failures_.Note(dqerr::kCrc); break;
        case ReplyStream::Event::kOversized: failures_.Note(dqerr::kReplyTooLong); break;
      }
    }
    return false;
  }

  AttemptOutcome WaitForStream() {
    ReplyStream stream;
    AttemptOutcome outcome;
    int64_t frameDeadline = 0;
    std::vector<uint8_t> bytes;
    bool heard = false;
    for (;;) {
      int64_t now = clock_.NowMicros();
      int64_t waitUntil = stream.InFrame() ? std::min(frameDeadline, hardDeadline_) : firstDeadline_;
      if (now >= waitUntil) {
        if (!stream.InFrame() || now >= hardDeadline_) break;
        // The started frame stalled: it was a false start or a broken frame.
        failures_.Note(dqerr::kTruncated);
        if (Take(stream.Resync(), outcome)) return outcome;
        frameDeadline = now + transport_.RestWindowMicros(settings_, stream.Missing());
        continue;
      }
      bytes.clear();
      bool arrived = false;
      int32_t code = transport_.Receive(waitUntil, bytes, arrived);
      if (code != dqerr::kOk) return Fault(code);
      if (!arrived || bytes.empty()) continue;
      heard = true;
      size_t droppedBefore = stream.DroppedBytes();
      if (Take(stream.Feed(bytes.data(), bytes.size()), outcome)) return outcome;
      if (stream.DroppedBytes() != droppedBefore) failures_.Note(dqerr::kMalformed);
      if (stream.InFrame()) frameDeadline = clock_.NowMicros() + transport_.RestWindowMicros(settings_, stream.Missing());
    }
    if (stream.InFrame()) failures_.Note(dqerr::kTruncated);
    AttemptOutcome silent = Fault(dqerr::kTimeout);
    silent.heardNothing = !heard;
    return silent;
  }

  Transport& transport_;
  Clock& clock_;
  const LinkSettings& settings_;
  const Request& request_;
  Failures& failures_;
  int64_t firstDeadline_ = 0;
  int64_t hardDeadline_ = 0;
};

// A serial frame carries no sequence number, so a module that answers later
// than the reply window leaves the replies of the silent attempts on the
// line, and the next exchange of the same command would take one of them as
// its own answer. After a reply taken behind silent attempts the module is
// assumed to answer in order: the reply taken belongs to the first silent
// attempt, and the others, the last attempt's included, are awaited (as late
// as the first one was) and dropped. Bounded by the retries' windows.
void DropLateReplies(Transport& transport, Clock& clock, const LinkSettings& settings,
                     const std::vector<int64_t>& silentSends, const AttemptOutcome& taken) {
  size_t outstanding = silentSends.size();
  int64_t lateness = taken.tookAt - silentSends.front();
  int64_t deadline = taken.sentAt + lateness + transport.RestWindowMicros(settings, kReplyMaxSize);
  ReplyStream stream;
  std::vector<uint8_t> bytes;
  size_t seen = 0;
  while (seen < outstanding && clock.NowMicros() < deadline) {
    bytes.clear();
    bool arrived = false;
    if (transport.Receive(deadline, bytes, arrived) != dqerr::kOk) return;  // the next exchange reports it
    if (!arrived || bytes.empty()) continue;
    seen += stream.Feed(bytes.data(), bytes.size()).size();
  }
}

}  // namespace

ExchangeResult Exchange(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request) {
  ExchangeResult result;
  Failures failures;
  int retries = std::clamp(settings.retries, 0, kMaxRetries);
  std::vector<int64_t> silentSends;  // attempts on a stream whose reply may still come
  for (int attempt = 0; attempt <= retries; ++attempt) {
    ++result.attempts;
    AttemptOutcome outcome = Attempt(transport, clock, settings, request, failures).Run();
    if (outcome.code == dqerr::kOk) {
      if (!silentSends.empty()) DropLateReplies(transport, clock, settings, silentSends, outcome);
      result.reply = std::move(outcome.reply);
      result.code = dqerr::FromModuleStatus(result.reply.status);
      return result;
    }
    if (!dqerr::IsRetryable(outcome.code)) {
      result.code = outcome.code;
      return result;
    }
    if (outcome.heardNothing && !transport.CarriesDatagrams()) silentSends.push_back(outcome.sentAt);
    failures.Note(outcome.code);
  }
  result.code = failures.Worst();
  return result;
}

}  // namespace dqbus
