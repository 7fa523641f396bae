// The DQ bus protocol shared by the driver libraries, the simulator and the
// frame trace of the companion program.
// docs/protocol.md is the full description; this header holds its numbers
// and the frame codec.
//
// Request (master -> module), always 13 bytes:
//   0x5B, transaction lo, transaction hi, address, command, sub-code,
//   b3, b4, b5, b6, b7, CRC lo, CRC hi
// Reply (module -> master), 9 + count bytes:
//   0xA6, transaction lo, transaction hi (echoed), address, command echo,
//   status, count, data[count], CRC lo, CRC hi
// The transaction number ties a reply to the request it answers, so that a
// late, doubled or reordered reply is never taken for another request.
// CRC-16/MODBUS (polynomial 0x8005 reflected as 0xA001, initial 0xFFFF, no
// final XOR) over every byte from the start byte up to the CRC, sent low
// byte first. count is at most kReplyMaxData.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/BaudRates.h"

namespace dqbus {

// Start bytes of this frame version; those of the earlier frames without a
// transaction number (0x5A, 0xA5) start no frame.
constexpr uint8_t kRequestStart = 0x5B;
constexpr uint8_t kReplyStart = 0xA6;
constexpr size_t kRequestSize = 13;
// start, transaction (2), address, command, status, count
constexpr size_t kReplyHeaderSize = 7;
constexpr size_t kReplyCountOffset = 6;
constexpr size_t kReplyMaxData = 64;
constexpr size_t kReplyMinSize = kReplyHeaderSize + 2;
constexpr size_t kReplyMaxSize = kReplyHeaderSize + kReplyMaxData + 2;

// Timing (docs/protocol.md, section 5), shared by the libraries and by
// whatever plans by their bounds (the companion's scan).
// Latency of the PC side (scheduler, USB converter) before a reply's first byte.
constexpr int64_t kSerialSlackMicros = 25000;
// Latency of the network and the LAN converter beyond the bus times.
constexpr int64_t kLanSlackMicros = 20000;

// Serial line: from the start of the request until the reply's first byte.
constexpr int64_t SerialFirstByteMicros(uint32_t rate, int32_t timingMs) {
  return static_cast<int64_t>(dqcore::WireTimeMicros(kRequestSize, rate)) + timingMs * int64_t{1000} +
         kSerialSlackMicros;
}
// LAN converter: the least one exchange needs on the bus, the longest reply included.
constexpr int64_t LanBusMinimumMicros(uint32_t rate, int32_t timingMs) {
  return static_cast<int64_t>(dqcore::WireTimeMicros(kRequestSize + kReplyMaxSize, rate)) +
         timingMs * int64_t{1000} + kLanSlackMicros;
}

// Module status byte of a reply (0 = done). The libraries map a non-zero
// module status s to their own code kModuleStatusBase + s.
enum ModuleStatus : uint8_t {
  msOk = 0,
  msUnknownCommand = 1,
  msBadSubcode = 2,
  msBadRegister = 3,
  msBadValue = 4,
  msBusy = 5,
  msFailed = 6,  // the command was understood but could not be carried out
};

uint16_t Crc16(const uint8_t* data, size_t size);

struct Request {
  uint16_t transaction = 0;
  uint8_t address = 0;
  uint8_t command = 0;
  uint8_t subcode = 0;
  std::array<uint8_t, 5> params{};  // b3..b7

  // Field by field: what a frame carries, hence what its encoding fixes.
  friend bool operator==(const Request& a, const Request& b) {
    return a.transaction == b.transaction && a.address == b.address && a.command == b.command &&
           a.subcode == b.subcode && a.params == b.params;
  }
};

// The data bytes of a reply: at most kReplyMaxData, held in place so that
// an exchange allocates nothing. Bytes beyond the capacity are cut.
class ReplyData {
 public:
  ReplyData() = default;
  ReplyData(std::initializer_list<uint8_t> bytes) { assign(bytes.begin(), bytes.end()); }
  ReplyData(const std::vector<uint8_t>& bytes) { assign(bytes.begin(), bytes.end()); }  // NOLINT: converts
  ReplyData& operator=(const std::vector<uint8_t>& bytes) {
    assign(bytes.begin(), bytes.end());
    return *this;
  }
  ReplyData& operator=(std::initializer_list<uint8_t> bytes) {
    assign(bytes.begin(), bytes.end());
    return *this;
  }

  template <typename It, typename = std::enable_if_t<!std::is_integral_v<It>>>
  void assign(It first, It last) {
    size_ = 0;
    for (; first != last && size_ < kReplyMaxData; ++first) bytes_[size_++] = static_cast<uint8_t>(*first);
  }
  void assign(const uint8_t* first, const uint8_t* last) {
    size_ = std::min(static_cast<size_t>(last - first), kReplyMaxData);
    std::copy(first, first + size_, bytes_.begin());
  }
  void assign(size_t count, uint8_t value) {
    size_ = std::min(count, kReplyMaxData);
    std::fill(bytes_.begin(), bytes_.begin() + size_, value);
  }
  void resize(size_t count, uint8_t value = 0) {
    count = std::min(count, kReplyMaxData);
    if (count > size_) std::fill(bytes_.begin() + size_, bytes_.begin() + count, value);
    size_ = count;
  }
  void push_back(uint8_t value) {
    if (size_ < kReplyMaxData) bytes_[size_++] = value;
  }
  void clear() { size_ = 0; }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  static constexpr size_t capacity() { return kReplyMaxData; }
  const uint8_t* data() const { return bytes_.data(); }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* begin() const { return bytes_.data(); }
  const uint8_t* end() const { return bytes_.data() + size_; }
  uint8_t* begin() { return bytes_.data(); }
  uint8_t* end() { return bytes_.data() + size_; }
  operator std::vector<uint8_t>() const { return std::vector<uint8_t>(begin(), end()); }  // NOLINT: converts
  uint8_t operator[](size_t i) const { return bytes_[i]; }
  uint8_t& operator[](size_t i) { return bytes_[i]; }

  friend bool operator==(const ReplyData& a, const ReplyData& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator!=(const ReplyData& a, const ReplyData& b) { return !(a == b); }
  friend bool operator==(const ReplyData& a, const std::vector<uint8_t>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator==(const std::vector<uint8_t>& a, const ReplyData& b) { return b == a; }
  friend bool operator!=(const ReplyData& a, const std::vector<uint8_t>& b) { return !(a == b); }
  friend bool operator!=(const std::vector<uint8_t>& a, const ReplyData& b) { return !(b == a); }

 private:
  std::array<uint8_t, kReplyMaxData> bytes_{};
  size_t size_ = 0;
};

struct Reply {
  uint16_t transaction = 0;  // the request's, echoed
  uint8_t address = 0;
  uint8_t command = 0;
  uint8_t status = 0;
  ReplyData data;

  friend bool operator==(const Reply& a, const Reply& b) {
    return a.transaction == b.transaction && a.address == b.address && a.command == b.command &&
           a.status == b.status && a.data == b.data;
  }
};

std::array<uint8_t, kRequestSize> EncodeRequest(const Request& request);
std::vector<uint8_t> EncodeReply(const Reply& reply);
// The same into a caller's vector (replaced; its capacity is reused).
void EncodeReplyInto(const Reply& reply, std::vector<uint8_t>& frame);

// Decodes one complete request frame (exactly kRequestSize bytes, CRC checked).
std::optional<Request> DecodeRequest(const uint8_t* frame, size_t size);
// Decodes one complete reply frame (start byte, length and CRC checked).
std::optional<Reply> DecodeReply(const uint8_t* frame, size_t size);
// The same into a caller's reply; false (reply untouched) when it is no frame.
bool DecodeReplyInto(const uint8_t* frame, size_t size, Reply& reply);

// The fields of a frame's head as they stand, start byte and CRC not
// checked, for showing frames that did not decode: a request's fields
// (false below kRequestSize - 2 bytes), a reply's fields up to its status
// (false below kReplyHeaderSize bytes; data left empty).
// Inline: the decoders of every exchange use them.
inline bool ReadRequestFields(const uint8_t* frame, size_t size, Request& request) {
  if (frame == nullptr || size < kRequestSize - 2) return false;
  request.transaction = static_cast<uint16_t>(frame[1] | (frame[2] << 8));
  request.address = frame[3];
  request.command = frame[4];
  request.subcode = frame[5];
  std::copy(frame + 6, frame + 11, request.params.begin());
  return true;
}
inline bool ReadReplyHead(const uint8_t* frame, size_t size, Reply& reply) {
  if (frame == nullptr || size < kReplyHeaderSize) return false;
  reply.transaction = static_cast<uint16_t>(frame[1] | (frame[2] << 8));
  reply.address = frame[3];
  reply.command = frame[4];
  reply.status = frame[5];
  reply.data.clear();
  return true;
}

// Incremental frame hunters for byte streams (serial lines). Feed bytes as
// they arrive; a complete frame with a valid CRC is returned once. Bytes
// that cannot start a frame, and candidate frames with a bad CRC, are
// skipped one byte at a time so that a real frame following noise is found.
class RequestStream {
 public:
  // Appends bytes; returns the decoded requests completed by them, in order
  // (valid until the next Feed: the buffers are reused).
  const std::vector<Request>& Feed(const uint8_t* data, size_t size);
  size_t Pending() const { return buffer_.size(); }
  void Clear() { buffer_.clear(); }
  // Counts of discarded bytes, for diagnostics.
  size_t DroppedBytes() const { return dropped_; }

 private:
  std::vector<uint8_t> buffer_;
  std::vector<Request> out_;
  size_t dropped_ = 0;
};

class ReplyStream {
 public:
  struct Event {
    // kOversized: a start byte followed by a count above kReplyMaxData.
    enum Kind { kFrame, kBadCrc, kOversized } kind;
    Reply reply;  // valid for kFrame
  };
  // The events completed by the bytes, in order (valid until the next Feed
  // or Resync: the buffers are reused, so a stream kept from one exchange
  // to the next allocates nothing).
  const std::vector<Event>& Feed(const uint8_t* data, size_t size);
  // Gives up the frame now being collected (its rest did not arrive in
  // time): drops its start byte and hunts again through the bytes behind
  // it, so that a complete frame hidden behind a false start is found.
  const std::vector<Event>& Resync();
  // Bytes still needed to complete the frame now being collected (0 when
  // nothing has started); lets a reader size its next deadline.
  size_t Missing() const;
  bool InFrame() const { return !buffer_.empty(); }
  void Clear() {
    buffer_.clear();
    oversizedEnd_ = consumed_;
  }
  size_t DroppedBytes() const { return dropped_; }

 private:
  // Hunts through buffer_ for frames, appending to events_.
  void Scan();

  std::vector<uint8_t> buffer_;
  std::vector<Event> events_;
  size_t dropped_ = 0;
  // Stream offsets: bytes already taken out of buffer_, and the end of the
  // span an oversized header or a given-up frame announced. A false start
  // inside that span (a data or transaction byte that looks like a start
  // byte) is the same bad frame, not a CRC error of its own.
  uint64_t consumed_ = 0;
  uint64_t oversizedEnd_ = 0;
};

// ---- UDP carriage (LAN converter) -----------------------------------------
// One datagram carries one frame behind an 8-byte header:
//   'D', 'Q', version 2, kind (0x01 request, 0x81 reply), sequence lo,
//   sequence hi, baud-rate code the converter uses on the bus, 0.
// The sequence number is the carried request's transaction number; the
// converter echoes it in its reply. Version 1 carried the frames without a
// transaction number.
constexpr uint8_t kUdpMagic0 = 'D';
constexpr uint8_t kUdpMagic1 = 'Q';
constexpr uint8_t kUdpVersion = 2;
constexpr uint8_t kUdpKindRequest = 0x01;
constexpr uint8_t kUdpKindReply = 0x81;
constexpr size_t kUdpHeaderSize = 8;
constexpr uint16_t kUdpDefaultPort = 5000;

struct UdpHeader {
  uint8_t kind = kUdpKindRequest;
  uint16_t sequence = 0;
  uint8_t baudCode = 4;
};

std::vector<uint8_t> EncodeUdp(const UdpHeader& header, const uint8_t* frame, size_t size);
// The same into a caller's buffer; returns the datagram's size, or 0 when
// it does not fit.
size_t EncodeUdpInto(const UdpHeader& header, const uint8_t* frame, size_t size, uint8_t* out, size_t capacity);
// Checks magic and version; on success fills header and points frame/size at
// the carried frame inside datagram.
bool DecodeUdp(const uint8_t* datagram, size_t size, UdpHeader& header, const uint8_t*& frame,
               size_t& frameSize);

}  // namespace dqbus
