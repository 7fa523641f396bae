// The DQ bus protocol shared by the driver libraries and the simulator.
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

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

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
};

struct Reply {
  uint16_t transaction = 0;  // the request's, echoed
  uint8_t address = 0;
  uint8_t command = 0;
  uint8_t status = 0;
  std::vector<uint8_t> data;  // at most kReplyMaxData bytes
};

std::array<uint8_t, kRequestSize> EncodeRequest(const Request& request);
// data beyond kReplyMaxData is cut.
std::vector<uint8_t> EncodeReply(const Reply& reply);

// Decodes one complete request frame (exactly kRequestSize bytes, CRC checked).
std::optional<Request> DecodeRequest(const uint8_t* frame, size_t size);
// Decodes one complete reply frame (start byte, length and CRC checked).
std::optional<Reply> DecodeReply(const uint8_t* frame, size_t size);

// Incremental frame hunters for byte streams (serial lines). Feed bytes as
// they arrive; a complete frame with a valid CRC is returned once. Bytes
// that cannot start a frame, and candidate frames with a bad CRC, are
// skipped one byte at a time so that a real frame following noise is found.
class RequestStream {
 public:
  // Appends bytes; returns the decoded requests completed by them, in order.
  std::vector<Request> Feed(const uint8_t* data, size_t size);
  size_t Pending() const { return buffer_.size(); }
  void Clear() { buffer_.clear(); }
  // Counts of discarded bytes, for diagnostics.
  size_t DroppedBytes() const { return dropped_; }

 private:
  std::vector<uint8_t> buffer_;
  size_t dropped_ = 0;
};

class ReplyStream {
 public:
  struct Event {
    // kOversized: a start byte followed by a count above kReplyMaxData.
    enum Kind { kFrame, kBadCrc, kOversized } kind;
    Reply reply;  // valid for kFrame
  };
  std::vector<Event> Feed(const uint8_t* data, size_t size);
  // Gives up the frame now being collected (its rest did not arrive in
  // time): drops its start byte and hunts again through the bytes behind
  // it, so that a complete frame hidden behind a false start is found.
  std::vector<Event> Resync();
  // Bytes still needed to complete the frame now being collected (0 when
  // nothing has started); lets a reader size its next deadline.
  size_t Missing() const;
  bool InFrame() const { return !buffer_.empty(); }
  void Clear() { buffer_.clear(); }
  size_t DroppedBytes() const { return dropped_; }

 private:
  std::vector<uint8_t> buffer_;
  size_t dropped_ = 0;
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
// Checks magic and version; on success fills header and points frame/size at
// the carried frame inside datagram.
bool DecodeUdp(const uint8_t* datagram, size_t size, UdpHeader& header, const uint8_t*& frame,
               size_t& frameSize);

// ---- Baud rates ------------------------------------------------------------
constexpr int kBaudCodeCount = 9;
constexpr uint32_t kBaudRates[kBaudCodeCount] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// -1 for a rate that is not one of the nine.
int BaudCodeOf(uint32_t rate);
// Wire time of n bytes at a rate (10 bits per byte: start, 8 data, stop), in microseconds.
uint64_t WireTimeMicros(size_t bytes, uint32_t rate);

}  // namespace dqbus
