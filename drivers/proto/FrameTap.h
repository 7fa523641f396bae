// The frame trace of one link (the eighth entry point of the driver ABI):
// the transports hand it the bytes they write and read, and it reports
// them to the program's callback. A datagram is one report. On a serial
// line each request is one report, and received bytes are cut as the
// frame format delimits them: a reply frame (CRC good or bad), a header
// announcing too many data bytes, or a run of bytes that start no frame;
// a frame still unfinished is reported with what came of it before the
// next request goes out or when the trace ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Clock.h"
#include "core/DriverAbi.h"

namespace dqbus {

class FrameTap {
 public:
  FrameTap(Clock& clock, bool datagrams) : clock_(clock), carrier_(datagrams ? dqabi::kTraceDatagram : 0) {}

  // A null callback ends the trace. Bytes of an unfinished frame go to the
  // callback in force before it is replaced.
  void Set(dqabi::TraceCallback callback, void* context);
  bool On() const { return callback_ != nullptr; }

  void Sent(const uint8_t* bytes, size_t size);
  void Received(const uint8_t* bytes, size_t size);

 private:
  void Report(int32_t flags, int64_t time, const uint8_t* bytes, size_t size) const;
  // Reports the pieces that pending_ holds complete; keeps the rest.
  void Cut(int64_t time);
  // Reports whatever pending_ still holds as it is.
  void Flush();

  Clock& clock_;
  const int32_t carrier_;
  dqabi::TraceCallback callback_ = nullptr;
  void* context_ = nullptr;
  std::vector<uint8_t> pending_;  // received stream bytes not reported yet
  int64_t lastRead_ = 0;          // time of the read that added to pending_ last
};

}  // namespace dqbus
