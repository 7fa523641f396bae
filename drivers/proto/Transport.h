// A carrier of frames between the PC and the module: a serial line (a byte
// stream) or the LAN converter (one frame per datagram).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "LinkSettings.h"

namespace dqbus {

class Transport {
 public:
  virtual ~Transport() = default;

  // True when every Receive yields one whole frame (possibly empty).
  virtual bool CarriesDatagrams() const = 0;
  // Applies the link settings (line speed, baud code of the converter).
  // Returns a dqerr code.
  virtual int32_t Configure(const LinkSettings& settings) = 0;
  // Drops whatever arrived before a new attempt. Returns a dqerr code.
  virtual int32_t BeginAttempt() = 0;
  // Sends one request frame. Returns a dqerr code.
  virtual int32_t Write(const uint8_t* frame, size_t size, int64_t deadlineMicros) = 0;
  // Waits for input until the deadline (microseconds of the engine's clock).
  // Returns kOk with bytes appended to out and arrived set, kOk with arrived
  // false when the deadline passed, or the code of a fault.
  virtual int32_t Receive(int64_t deadlineMicros, std::vector<uint8_t>& out, bool& arrived) = 0;
  // Time from the start of an attempt until the reply must have begun.
  virtual int64_t ReplyWindowMicros(const LinkSettings& settings) const = 0;
  // Time allowed for the rest of a started reply (stream transports).
  virtual int64_t RestWindowMicros(const LinkSettings& settings, size_t missingBytes) const = 0;
};

}  // namespace dqbus
