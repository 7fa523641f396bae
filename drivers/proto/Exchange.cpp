#include "Exchange.h"

#include <algorithm>
#include <vector>

#include "AttemptPolicy.h"
#include "core/ErrorCodes.h"

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

// Checks a valid frame of the running exchange against the request; kOk
// when it is the reply.
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
  size_t count = frame[kReplyCountOffset];
  if (count > kReplyMaxData) return dqerr::kReplyTooLong;
  size_t total = kReplyHeaderSize + count + 2;
  if (frame.size() < total) return dqerr::kTruncated;
  if (frame.size() > total) return dqerr::kReplyTooLong;
  return DecodeReplyInto(frame.data(), frame.size(), reply) ? dqerr::kOk : dqerr::kCrc;
}

// One attempt: the request goes out with its own transaction number, and a
// valid frame is taken when it echoes the number of any attempt of this
// exchange (the request is the same; a retry only repeats it), comes from
// the request's address and echoes its command. Frames with other numbers
// answer earlier exchanges and are dropped. A bad frame ends the attempt at
// once: over UDP when its datagram arrives, on a serial line once the line
// has been quiet for a short gap behind it.
class Attempt {
 public:
  // index: the attempt's number in its exchange (0: the first); deadline:
  // the end of a datagram attempt's window, 0 for the transport's own reply
  // window (both as AttemptPolicy gives them).
  // The reply is decoded into `reply`, which holds the reply taken when
  // Run returns kOk (and anything otherwise).
  Attempt(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request,
          Failures& failures, int index, int64_t deadline, ExchangeBuffers& buffers, Reply& reply)
      : transport_(transport),
        clock_(clock),
        settings_(settings),
        request_(request),
        failures_(failures),
        buffers_(buffers),
        reply_(reply),
        index_(index),
        firstDeadline_(deadline) {}

  // kOk when the reply was taken, else the attempt's failure.
  int32_t Run() {
    // The attempt's window runs from its start: what the transport does
    // first (a flush that waits for the kernel's tty work, a reopen) is
    // part of it and cannot stretch the Send beyond its bound.
    const int64_t start = clock_.NowMicros();
    int32_t code = transport_.StartAttempt(index_);
    if (code != dqerr::kOk) return code;
    auto frame = EncodeRequest(request_);
    if (firstDeadline_ == 0) firstDeadline_ = start + transport_.ReplyWindowMicros(settings_);
    hardDeadline_ = firstDeadline_ + transport_.RestWindowMicros(settings_, kReplyMaxSize);
    code = transport_.Write(frame.data(), frame.size(), firstDeadline_);
    if (code != dqerr::kOk) return code;
    return transport_.CarriesDatagrams() ? WaitForDatagram() : WaitForStream();
  }

 private:

  int32_t WaitForDatagram() {
    std::vector<uint8_t>& frame = buffers_.bytes;
    for (;;) {
      frame.clear();
      bool arrived = false;
      int32_t code = transport_.Receive(firstDeadline_, frame, arrived);
      if (code != dqerr::kOk) return code;
      if (!arrived) {
        if (clock_.NowMicros() >= firstDeadline_) return dqerr::kTimeout;
        continue;
      }
      code = DecodeDatagramFrame(frame, reply_);
      if (code == dqerr::kOk) {
        if (!transport_.IsOwnTransaction(reply_.transaction)) continue;  // relayed late reply
        code = Match(reply_, request_);
      }
      if (code == dqerr::kOk) return dqerr::kOk;
      failures_.Note(code);
      return code;
    }
  }

  // Returns true when the events hold the reply; notes a bad frame.
  bool Take(const std::vector<ReplyStream::Event>& events) {
    for (const auto& event : events) {
      switch (event.kind) {
        case ReplyStream::Event::kFrame: {
          if (!transport_.IsOwnTransaction(event.reply.transaction)) break;  // late reply of an earlier exchange
          int32_t code = Match(event.reply, request_);
          if (code == dqerr::kOk) {
            reply_ = event.reply;
            return true;
          }
          failures_.Note(code);
          // This attempt's answer was that frame; an earlier attempt's
          // answer may still come in the next attempt.
          if (event.reply.transaction == request_.transaction) badFrame_ = true;
          break;
        }
        case ReplyStream::Event::kBadCrc:
          failures_.Note(dqerr::kCrc);
          badFrame_ = true;
          break;
        case ReplyStream::Event::kOversized:
          failures_.Note(dqerr::kReplyTooLong);
          badFrame_ = true;
          break;
      }
    }
    return false;
  }

  int32_t WaitForStream() {
    ReplyStream& stream = buffers_.stream;
    stream.Clear();
    int64_t frameDeadline = 0;
    int64_t quietUntil = 0;  // with a bad frame seen: the end of the quiet gap behind it
    // The quiet gap behind a bad frame: what a reply may pause between its
    // bytes, plus two byte times.
    const int64_t quietGap = transport_.RestWindowMicros(settings_, 2);
    std::vector<uint8_t>& bytes = buffers_.bytes;
    for (;;) {
      int64_t now = clock_.NowMicros();
      int64_t waitUntil = stream.InFrame() ? std::min(frameDeadline, hardDeadline_)
                          : badFrame_      ? std::min(quietUntil, hardDeadline_)
                                           : firstDeadline_;
      if (now >= waitUntil) {
        if (!stream.InFrame() || now >= hardDeadline_) break;
        // The started frame stalled: it was a false start or a broken frame.
        failures_.Note(dqerr::kTruncated);
        if (Take(stream.Resync())) return dqerr::kOk;
        frameDeadline = now + transport_.RestWindowMicros(settings_, stream.Missing());
        if (badFrame_) quietUntil = now + quietGap;
        continue;
      }
      bytes.clear();
      bool arrived = false;
      int32_t code = transport_.Receive(waitUntil, bytes, arrived);
      if (code != dqerr::kOk) return code;
      if (!arrived || bytes.empty()) continue;
      size_t droppedBefore = stream.DroppedBytes();
      if (Take(stream.Feed(bytes.data(), bytes.size()))) return dqerr::kOk;
      if (stream.DroppedBytes() != droppedBefore) failures_.Note(dqerr::kMalformed);
      now = clock_.NowMicros();
      if (stream.InFrame()) frameDeadline = now + transport_.RestWindowMicros(settings_, stream.Missing());
      if (badFrame_) quietUntil = now + quietGap;
    }
    if (stream.InFrame()) failures_.Note(dqerr::kTruncated);
    return dqerr::kTimeout;
  }

  Transport& transport_;
  Clock& clock_;
  const LinkSettings& settings_;
  const Request& request_;
  Failures& failures_;
  ExchangeBuffers& buffers_;
  Reply& reply_;
  int index_;
  int64_t firstDeadline_ = 0;
  int64_t hardDeadline_ = 0;
  bool badFrame_ = false;
};

}  // namespace

ExchangeResult Exchange(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request) {
  ExchangeBuffers buffers;
  return Exchange(transport, clock, settings, request, buffers);
}

ExchangeResult Exchange(Transport& transport, Clock& clock, const LinkSettings& settings, const Request& request,
                        ExchangeBuffers& buffers) {
  ExchangeResult result;
  Failures failures;
  transport.BeginExchange();
  AttemptPolicy policy(transport, clock, settings);
  int64_t deadline = 0;
  for (int attempt = 0; policy.Starts(attempt, deadline); ++attempt) {
    ++result.attempts;
    Request sent = request;
    sent.transaction = transport.NextTransaction();
    const int32_t code =
        Attempt(transport, clock, settings, sent, failures, attempt, deadline, buffers, result.reply).Run();
    switch (EndOf(code)) {
      case AttemptEnd::kReplied:
        result.code = dqerr::FromModuleStatus(result.reply.status);
        return result;
      case AttemptEnd::kFault:
        result.reply = Reply{};
        result.code = code;
        return result;
      case AttemptEnd::kFailed:
        failures.Note(code);
        break;
    }
  }
  result.reply = Reply{};
  result.code = failures.Worst();
  return result;
}

}  // namespace dqbus
