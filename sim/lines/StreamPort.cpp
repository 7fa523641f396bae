#include "sim/lines/StreamPort.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "core/BaudRates.h"

namespace dqsim {

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
  speed_t speed = dqcore::TermiosSpeedOf(rate);
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
