// A real serial device (a USB adapter wired to a bus master, or one end of
// a null-modem pair). Its line runs at the rate of the first module; a
// module set to another rate would hear only noise, so nothing is checked.
#pragma once

#include "sim/lines/StreamPort.h"

namespace dqsim {

class SerialPort : public StreamPort {
 public:
  SerialPort() = default;
  ~SerialPort() override { Close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  bool Open(const std::string& device, uint32_t rate, std::string* error);

  int Fd() const override { return fd_; }
  bool IsOpen() const override { return fd_ >= 0; }
  void Close() override;
  const std::string& Path() const override { return path_; }
  uint32_t LineRate() const override { return rate_; }
  void FollowModuleRate(uint32_t rate) override;
  const char* Kind() const override { return "serial"; }
  bool PacedByLine() const override { return true; }

 private:
  int fd_ = -1;
  std::string path_;
  uint32_t rate_ = 0;
};

}  // namespace dqsim
