#include "FrameTrace.h"

#include <cinttypes>
#include <cstdarg>
#include <type_traits>

#include "core/DriverAbi.h"
#include "core/Protocol.h"

namespace dqcommission {

namespace {

void AppendHex(std::string& line, const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < size; ++i) {
    if (i != 0) line += ' ';
    line += kDigits[bytes[i] >> 4];
    line += kDigits[bytes[i] & 0x0F];
  }
}

std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printed(const char* format, ...) {
  char text[160];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

std::string RequestText(const uint8_t* frame, size_t size) {
  if (size == 0) return "no frame";
  dqbus::Request request;
  if (frame[0] != dqbus::kRequestStart || !dqbus::ReadRequestFields(frame, size, request)) {
    return Printed("no request frame, %zu bytes", size);
  }
  std::string text = Printed("request tx 0x%04X addr %u cmd %u sub %u b3-b7 ", request.transaction,
                             request.address, request.command, request.subcode);
  AppendHex(text, request.params.data(), request.params.size());
  if (size != dqbus::kRequestSize) return text + Printed(", %zu of %zu bytes", size, dqbus::kRequestSize);
  return text + (dqbus::DecodeRequest(frame, size) ? ", CRC good" : ", CRC bad");
}

std::string ReplyText(const uint8_t* frame, size_t size) {
  if (size == 0) return "no frame";
  if (frame[0] != dqbus::kReplyStart) return Printed("noise, %zu bytes", size);
  dqbus::Reply reply;
  if (!dqbus::ReadReplyHead(frame, size, reply)) return Printed("reply begun, %zu bytes", size);
  const size_t count = frame[dqbus::kReplyCountOffset];
  std::string text = Printed("reply tx 0x%04X addr %u cmd %u status %u count %zu", reply.transaction,
                             reply.address, reply.command, reply.status, count);
  if (count > dqbus::kReplyMaxData) return text + Printed(" (more than %zu)", dqbus::kReplyMaxData);
  const size_t total = dqbus::kReplyHeaderSize + count + 2;
  if (size < total) return text + Printed(", %zu of %zu bytes", size, total);
  if (size > total) return text + Printed(", %zu bytes too many", size - total);
  return text + (dqbus::DecodeReplyInto(frame, size, reply) ? ", CRC good" : ", CRC bad");
}

std::string DatagramText(bool received, const uint8_t* datagram, size_t size) {
  dqbus::UdpHeader header;
  const uint8_t* frame = nullptr;
  size_t frameSize = 0;
  if (!dqbus::DecodeUdp(datagram, size, header, frame, frameSize)) {
    return Printed("no datagram of version %u, %zu bytes", dqbus::kUdpVersion, size);
  }
  std::string text = Printed("udp seq 0x%04X baud %u", header.sequence, header.baudCode);
  const uint8_t kind = received ? dqbus::kUdpKindReply : dqbus::kUdpKindRequest;
  if (header.kind != kind) text += Printed(" kind 0x%02X", header.kind);
  text += ": ";
  return text + (received ? ReplyText(frame, frameSize) : RequestText(frame, frameSize));
}

}  // namespace

std::string FormatTracedFrame(const TracedFrame& frame, int64_t originMicros) {
  const bool received = (frame.flags & dqabi::kTraceReceived) != 0;
  const int64_t micros = frame.timeMicros - originMicros;
  const char* sign = micros < 0 ? "-" : "";
  const int64_t magnitude = micros < 0 ? -micros : micros;
  std::string line = Printed("%s%" PRId64 ".%06" PRId64 " %s ", sign, magnitude / 1000000, magnitude % 1000000,
                             received ? "<-" : "->");
  AppendHex(line, frame.bytes, frame.size);
  line += " | ";
  if ((frame.flags & dqabi::kTraceDatagram) != 0) {
    line += DatagramText(received, frame.bytes, frame.size);
  } else {
    line += received ? ReplyText(frame.bytes, frame.size) : RequestText(frame.bytes, frame.size);
  }
  return line;
}

void TraceWriter::Write(const TracedFrame& frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_) {
    started_ = true;
    origin_ = frame.timeMicros;
  }
  std::string line = FormatTracedFrame(frame, origin_);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

void TraceWriter::Callback(void* context, int32_t flags, int64_t timeMicros, const uint8_t* bytes, int32_t size) {
  if (context == nullptr || bytes == nullptr || size < 0) return;
  TracedFrame frame;
  frame.flags = flags;
  frame.timeMicros = timeMicros;
  frame.bytes = bytes;
  frame.size = static_cast<size_t>(size);
  static_cast<TraceWriter*>(context)->Write(frame);
}

// The writer's callback is the ABI's callback type.
static_assert(std::is_same_v<decltype(&TraceWriter::Callback), dqabi::TraceCallback>,
              "TraceWriter::Callback is handed to DriverSetTrace");

}  // namespace dqcommission
