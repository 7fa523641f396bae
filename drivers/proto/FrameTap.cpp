#include "FrameTap.h"

#include <algorithm>

#include "Protocol.h"

namespace dqbus {

void FrameTap::Set(dqabi::TraceCallback callback, void* context) {
  Flush();
  callback_ = callback;
  context_ = context;
}

void FrameTap::Report(int32_t flags, int64_t time, const uint8_t* bytes, size_t size) const {
  if (size == 0 || callback_ == nullptr) return;
  callback_(context_, flags | carrier_, time, bytes, static_cast<int32_t>(size));
}

void FrameTap::Sent(const uint8_t* bytes, size_t size) {
  // A new attempt: the receiver gives up a frame still unfinished.
  Flush();
  Report(0, clock_.NowMicros(), bytes, size);
}

void FrameTap::Received(const uint8_t* bytes, size_t size) {
  const int64_t now = clock_.NowMicros();
  if (carrier_ != 0) {
    Report(dqabi::kTraceReceived, now, bytes, size);
    return;
  }
  pending_.insert(pending_.end(), bytes, bytes + size);
  lastRead_ = now;
  Cut(now);
}

void FrameTap::Cut(int64_t time) {
  const uint8_t* const begin = pending_.data();
  const size_t size = pending_.size();
  // The next start byte after `from`, or the end.
  auto nextStart = [&](size_t from, size_t end) {
    return static_cast<size_t>(std::find(begin + from, begin + end, kReplyStart) - begin);
  };
  size_t pos = 0;
  Reply scratch;
  while (pos < size) {
    const size_t left = size - pos;
    size_t piece = 0;
    if (begin[pos] != kReplyStart) {
      piece = nextStart(pos + 1, size) - pos;  // noise up to the next start byte
    } else if (left < kReplyHeaderSize) {
      break;
    } else if (begin[pos + kReplyCountOffset] > kReplyMaxData) {
      piece = kReplyHeaderSize;  // a header that announces too much
    } else {
      const size_t total = kReplyHeaderSize + begin[pos + kReplyCountOffset] + 2;
      if (left < total) break;
      // With a bad CRC the receiver hunts on from the next start byte, so
      // a frame that begins inside this one is reported as its own.
      piece = DecodeReplyInto(begin + pos, total, scratch) ? total : nextStart(pos + 1, pos + total) - pos;
    }
    Report(dqabi::kTraceReceived, time, begin + pos, piece);
    pos += piece;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
}

void FrameTap::Flush() {
  if (pending_.empty()) return;
  if (callback_ != nullptr) Report(dqabi::kTraceReceived, lastRead_, pending_.data(), pending_.size());
  pending_.clear();
}

}  // namespace dqbus
