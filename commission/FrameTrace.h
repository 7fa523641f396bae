// The frame trace of the companion program: one text line for each frame
// that a driver library reports through its Trace entry point, and the
// writer that a program hands to DriverSetTrace as callback and context.
//
// A line: seconds since the trace began, the direction ("->" sent by the
// PC, "<-" received), the bytes in hex, and after " | " what they are:
//   0.000000 -> 5B FF 00 01 C8 00 00 00 00 00 00 9F 32 | request tx 0x00FF addr 1 cmd 200 sub 0 b3-b7 00 00 00 00 00, CRC good
//   0.004711 <- A6 FF 00 01 C8 00 04 44 51 37 31 C4 98 | reply tx 0x00FF addr 1 cmd 200 status 0 count 4, CRC good
// A datagram's header is shown before its frame ("udp seq 0x00FF baud 4: ").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace dqcommission {

struct TracedFrame {
  int32_t flags = 0;  // dqabi::kTraceReceived, dqabi::kTraceDatagram
  int64_t timeMicros = 0;
  const uint8_t* bytes = nullptr;
  size_t size = 0;
};

// The line of one traced frame, without a line end; time is counted from
// originMicros.
std::string FormatTracedFrame(const TracedFrame& frame, int64_t originMicros);

// Writes one line per traced frame to a stream (standard error, or a file
// the program opened), flushed at once so that a trace survives a crash.
// Time counts from the first frame. Safe for links traced on several threads.
class TraceWriter {
 public:
  explicit TraceWriter(std::FILE* out) : out_(out) {}
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  void Write(const TracedFrame& frame);
  // dqabi::TraceCallback; context is the TraceWriter.
  static void Callback(void* context, int32_t flags, int64_t timeMicros, const uint8_t* bytes, int32_t size);

 private:
  std::mutex mutex_;
  std::FILE* out_;
  bool started_ = false;
  int64_t origin_ = 0;
};

}  // namespace dqcommission
