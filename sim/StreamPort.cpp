#include "StreamPort.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace dqsim {

namespace {

struct RateSpeed {
  uint32_t rate;
  speed_t speed;
};

constexpr RateSpeed kRates[] = {
    {600, B600},     {1200, B1200},   {2400, B2400},   {4800, B4800},    {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

}  // namespace

uint32_t RateOfSpeed(speed_t speed) {
  for (const auto& entry : kRates) {
    if (entry.speed == speed) return entry.rate;
  }
  return 0;
}

speed_t SpeedOfRate(uint32_t rate) {
  for (const auto& entry : kRates) {
    if (entry.rate == rate) return entry.speed;
  }
  return B0;
}

bool MakeRawLine(int fd, uint32_t rate, std::string* error) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    if (error != nullptr) *error = std::string("tcgetattr: ") + std::strerror(errno);
    return false;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  speed_t speed = SpeedOfRate(rate);
  if (speed != B0) {
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
  }
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    if (error != nullptr) *error = std::string("tcsetattr: ") + std::strerror(errno);
    return false;
  }
  return true;
}

ssize_t StreamPort::Read(uint8_t* buffer, size_t size) {
  if (!IsOpen()) return -1;
  for (;;) {
    ssize_t n = read(Fd(), buffer, size);
    if (n > 0) return n;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return -1;  // end of file or an error: the line is gone
  }
}

bool StreamPort::Write(const uint8_t* data, size_t size, size_t& written) {
  written = 0;
  if (!IsOpen()) return false;
  while (written < size) {
    ssize_t n = write(Fd(), data + written, size - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;
  }
  return true;
}

}  // namespace dqsim
