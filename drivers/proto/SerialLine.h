// Serial line transport: a termios port in raw 8N1, opened exclusively.
#pragma once

#include <memory>
#include <string>

#include "Clock.h"
#include "Transport.h"

namespace dqbus {

class SerialLine final : public Transport {
 public:
  // Opens and locks the device (O_NOCTTY | O_NONBLOCK, TIOCEXCL, flock) and
  // sets it to raw 8N1 at the default rate. Returns a dqerr code; on
  // success port holds the open port.
  static int32_t Open(const std::string& path, std::unique_ptr<SerialLine>& port, Clock& clock = SteadyClock());
  ~SerialLine() override;
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  const std::string& Path() const { return path_; }

  bool CarriesDatagrams() const override { return false; }
  int32_t Configure(const LinkSettings& settings) override;
  int32_t BeginAttempt() override;
  int32_t Write(const uint8_t* frame, size_t size, int64_t deadlineMicros) override;
  int32_t Receive(int64_t deadlineMicros, std::vector<uint8_t>& out, bool& arrived) override;
  int64_t ReplyWindowMicros(const LinkSettings& settings) const override;
  int64_t RestWindowMicros(const LinkSettings& settings, size_t missingBytes) const override;

 private:
  SerialLine(int fd, std::string path, Clock& clock) : fd_(fd), path_(std::move(path)), clock_(clock) {}
  // Marks the port vanished for the errno of a failed call when it means
  // that the device is gone; returns the code to report.
  int32_t Failed(int error, int32_t otherwise);
  bool DeviceGone() const;

  int fd_;
  std::string path_;
  Clock& clock_;
  bool vanished_ = false;
};

}  // namespace dqbus
