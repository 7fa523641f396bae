#include "core/Protocol.h"

#include <algorithm>

namespace dqbus {

namespace {

// CRC-16/MODBUS of every byte value, for a byte at a time, and the second
// table for two bytes at a time (the CRC of a byte value followed by a zero
// byte), which halves the steps of the loop.
constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    uint16_t crc = static_cast<uint16_t>(value);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    table[value] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

constexpr std::array<uint16_t, 256> MakeCrcTable2() {
  std::array<uint16_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    table[value] = static_cast<uint16_t>((kCrcTable[value] >> 8) ^ kCrcTable[kCrcTable[value] & 0xFF]);
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable2 = MakeCrcTable2();

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  size_t i = 0;
  for (; i + 1 < size; i += 2) {
    crc ^= static_cast<uint16_t>(data[i] | (data[i + 1] << 8));
    crc = static_cast<uint16_t>(kCrcTable2[crc & 0xFF] ^ kCrcTable[crc >> 8]);
  }
  if (i < size) crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

namespace {

// The position of the next start byte at or after pos, the buffer's end when
// there is none; the bytes passed over are counted as dropped.
size_t HuntStart(const std::vector<uint8_t>& buffer, size_t pos, uint8_t start, size_t& dropped) {
  const auto found = std::find(buffer.begin() + static_cast<std::ptrdiff_t>(pos), buffer.end(), start);
  const size_t at = static_cast<size_t>(found - buffer.begin());
  dropped += at - pos;
  return at;
}

bool CrcMatches(const uint8_t* frame, size_t size) {
  if (size < 3) return false;
  uint16_t crc = Crc16(frame, size - 2);
  return frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);
}

// The first five bytes, alike in both directions: start, transaction
// (low byte first), address, command.
void PutFrameHead(uint8_t* frame, uint8_t start, uint16_t transaction, uint8_t address, uint8_t command) {
  frame[0] = start;
  frame[1] = static_cast<uint8_t>(transaction & 0xFF);
  frame[2] = static_cast<uint8_t>(transaction >> 8);
  frame[3] = address;
  frame[4] = command;
}

// The CRC of the first `size` bytes, low byte first, behind them.
void PutCrc(uint8_t* frame, size_t size) {
  uint16_t crc = Crc16(frame, size);
  frame[size] = static_cast<uint8_t>(crc & 0xFF);
  frame[size + 1] = static_cast<uint8_t>(crc >> 8);
}

}  // namespace

std::array<uint8_t, kRequestSize> EncodeRequest(const Request& request) {
  std::array<uint8_t, kRequestSize> frame{};
  PutFrameHead(frame.data(), kRequestStart, request.transaction, request.address, request.command);
  frame[5] = request.subcode;
  std::copy(request.params.begin(), request.params.end(), frame.begin() + 6);
  PutCrc(frame.data(), kRequestSize - 2);
  return frame;
}

void EncodeReplyInto(const Reply& reply, std::vector<uint8_t>& frame) {
  size_t count = std::min(reply.data.size(), kReplyMaxData);
  frame.resize(kReplyHeaderSize + count + 2);
  PutFrameHead(frame.data(), kReplyStart, reply.transaction, reply.address, reply.command);
  frame[5] = reply.status;
  frame[kReplyCountOffset] = static_cast<uint8_t>(count);
  std::copy(reply.data.begin(), reply.data.begin() + count, frame.begin() + kReplyHeaderSize);
  PutCrc(frame.data(), kReplyHeaderSize + count);
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
  std::vector<uint8_t> frame;
  EncodeReplyInto(reply, frame);
  return frame;
}

std::optional<Request> DecodeRequest(const uint8_t* frame, size_t size) {
  if (frame == nullptr || size != kRequestSize || frame[0] != kRequestStart || !CrcMatches(frame, size)) {
    return std::nullopt;
  }
  Request request;
  ReadRequestFields(frame, size, request);
  return request;
}

bool DecodeReplyInto(const uint8_t* frame, size_t size, Reply& reply) {
  if (frame == nullptr || size < kReplyMinSize || size > kReplyMaxSize || frame[0] != kReplyStart) return false;
  size_t count = frame[kReplyCountOffset];
  if (count > kReplyMaxData || size != kReplyHeaderSize + count + 2 || !CrcMatches(frame, size)) return false;
  ReadReplyHead(frame, size, reply);
  reply.data.assign(frame + kReplyHeaderSize, frame + kReplyHeaderSize + count);
  return true;
}

std::optional<Reply> DecodeReply(const uint8_t* frame, size_t size) {
  Reply reply;
  if (!DecodeReplyInto(frame, size, reply)) return std::nullopt;
  return reply;
}

const std::vector<Request>& RequestStream::Feed(const uint8_t* data, size_t size) {
  out_.clear();
  buffer_.insert(buffer_.end(), data, data + size);
  size_t pos = 0;
  while ((pos = HuntStart(buffer_, pos, kRequestStart, dropped_)) < buffer_.size()) {
    if (buffer_.size() - pos < kRequestSize) break;
    if (auto request = DecodeRequest(buffer_.data() + pos, kRequestSize)) {
      out_.push_back(*request);
      pos += kRequestSize;
    } else {
      ++pos;  // not a frame after all: hunt on from the next byte
      ++dropped_;
    }
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
  return out_;
}

const std::vector<ReplyStream::Event>& ReplyStream::Feed(const uint8_t* data, size_t size) {
  events_.clear();
  buffer_.insert(buffer_.end(), data, data + size);
  Scan();
  return events_;
}

void ReplyStream::Scan() {
  size_t pos = 0;
  while ((pos = HuntStart(buffer_, pos, kReplyStart, dropped_)) < buffer_.size()) {
    size_t available = buffer_.size() - pos;
    if (available < kReplyHeaderSize) break;
    size_t count = buffer_[pos + kReplyCountOffset];
    if (count > kReplyMaxData) {  // cannot be a header
      oversizedEnd_ = std::max<uint64_t>(oversizedEnd_, consumed_ + pos + kReplyHeaderSize + count + 2);
      events_.push_back(Event{Event::kOversized, Reply{}});
      ++pos;
      ++dropped_;
      continue;
    }
    size_t total = kReplyHeaderSize + count + 2;
    if (available < total) break;
    events_.push_back(Event{Event::kFrame, Reply{}});
    if (DecodeReplyInto(buffer_.data() + pos, total, events_.back().reply)) {
      pos += total;
    } else {
      if (consumed_ + pos < oversizedEnd_) {
        events_.pop_back();
      } else {
        events_.back().kind = Event::kBadCrc;
      }
      ++pos;
      ++dropped_;
    }
  }
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
  consumed_ += pos;
}

const std::vector<ReplyStream::Event>& ReplyStream::Resync() {
  events_.clear();
  if (buffer_.empty()) return events_;
  // The given-up frame spans what its header announced (or what came of
  // it): a false start inside it is the same broken frame.
  uint64_t span = buffer_.size();
  if (buffer_.size() >= kReplyHeaderSize) {
    span = std::max<uint64_t>(span, kReplyHeaderSize + buffer_[kReplyCountOffset] + 2);
  }
  oversizedEnd_ = std::max<uint64_t>(oversizedEnd_, consumed_ + span);
  buffer_.erase(buffer_.begin());
  ++consumed_;
  ++dropped_;
  Scan();
  return events_;
}

size_t ReplyStream::Missing() const {
  if (buffer_.empty()) return 0;
  if (buffer_.size() < kReplyHeaderSize) return kReplyHeaderSize + 2 - buffer_.size();
  size_t total = kReplyHeaderSize + buffer_[kReplyCountOffset] + 2;
  return total > buffer_.size() ? total - buffer_.size() : 0;
}

size_t EncodeUdpInto(const UdpHeader& header, const uint8_t* frame, size_t size, uint8_t* out, size_t capacity) {
  if (frame == nullptr) size = 0;
  if (out == nullptr || capacity < kUdpHeaderSize + size) return 0;
  out[0] = kUdpMagic0;
  out[1] = kUdpMagic1;
  out[2] = kUdpVersion;
  out[3] = header.kind;
  out[4] = static_cast<uint8_t>(header.sequence & 0xFF);
  out[5] = static_cast<uint8_t>(header.sequence >> 8);
  out[6] = header.baudCode;
  out[7] = 0;
  if (size != 0) std::copy(frame, frame + size, out + kUdpHeaderSize);
  return kUdpHeaderSize + size;
}

std::vector<uint8_t> EncodeUdp(const UdpHeader& header, const uint8_t* frame, size_t size) {
  std::vector<uint8_t> datagram(kUdpHeaderSize + (frame != nullptr ? size : 0));
  EncodeUdpInto(header, frame, size, datagram.data(), datagram.size());
  return datagram;
}

bool DecodeUdp(const uint8_t* datagram, size_t size, UdpHeader& header, const uint8_t*& frame,
               size_t& frameSize) {
  if (datagram == nullptr || size < kUdpHeaderSize || datagram[0] != kUdpMagic0 || datagram[1] != kUdpMagic1 ||
      datagram[2] != kUdpVersion) {
    return false;
  }
  header.kind = datagram[3];
  header.sequence = static_cast<uint16_t>(datagram[4] | (datagram[5] << 8));
  header.baudCode = datagram[6];
  frame = datagram + kUdpHeaderSize;
  frameSize = size - kUdpHeaderSize;
  return true;
}

}  // namespace dqbus
