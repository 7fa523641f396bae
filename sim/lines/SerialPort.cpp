#include "sim/lines/SerialPort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace dqsim {

bool SerialPort::Open(const std::string& device, uint32_t rate, std::string* error) {
  Close();
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    if (error != nullptr) *error = "cannot open " + device + ": " + std::strerror(errno);
    return false;
  }
  std::string why;
  if (!MakeRawLine(fd_, rate, &why)) {
    if (error != nullptr) *error = device + " is not a serial line (" + why + ")";
    Close();
    return false;
  }
  tcflush(fd_, TCIOFLUSH);
  path_ = device;
  rate_ = rate;
  return true;
}

void SerialPort::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void SerialPort::FollowModuleRate(uint32_t rate) {
  if (fd_ < 0 || rate == rate_) return;
  if (MakeRawLine(fd_, rate, nullptr)) rate_ = rate;
}

}  // namespace dqsim
