#include "SerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "core/ErrorCodes.h"
#include "FrameTap.h"
#include "core/BaudRates.h"

namespace dqbus {

namespace {

bool MeansGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

int32_t OpenErrorCode(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV: return dqerr::kPortMissing;
    case EACCES:
    case EPERM:
    case EROFS: return dqerr::kPortAccess;
    case EBUSY: return dqerr::kPortBusy;
    default: return dqerr::kPortOpen;
  }
}

bool SetRaw(int fd, speed_t speed) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Opens, locks and sets up a device at the given speed, input flushed.
int32_t OpenDevice(const std::string& path, speed_t speed, int& fdOut, dev_t& deviceOut) {
  if (path.empty()) return dqerr::kPortMissing;
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenErrorCode(errno);
  // A pseudo-terminal master (/dev/ptmx) is no port: each open of it makes
  // a new terminal that nothing serves.
  int ptyNumber = 0;
  if (ioctl(fd, TIOCGPTN, &ptyNumber) == 0) {
    close(fd);
    return dqerr::kPortSetup;
  }
  // flock keeps out every other open of the device, also ours and root's,
  // which TIOCEXCL does not.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? dqerr::kPortBusy : dqerr::kPortOpen;
  }
  termios probe{};
  struct stat info {};
  if (tcgetattr(fd, &probe) != 0 || fstat(fd, &info) != 0) {
    close(fd);
    return dqerr::kPortSetup;
  }
  ioctl(fd, TIOCEXCL);
  if (!SetRaw(fd, speed)) {
    close(fd);
    return dqerr::kPortSetup;
  }
  tcflush(fd, TCIOFLUSH);
  fdOut = fd;
  deviceOut = info.st_rdev;
  return dqerr::kOk;
}

}  // namespace

int32_t SerialLine::Open(const std::string& path, std::unique_ptr<SerialLine>& port, Clock& clock) {
  return Open(path, Locator(), port, clock);
}

int32_t SerialLine::Open(const std::string& path, Locator locate, std::unique_ptr<SerialLine>& port, Clock& clock) {
  int fd = -1;
  dev_t device = 0;
  int32_t code = OpenDevice(path, B9600, fd, device);
  if (code != dqerr::kOk) return code;
  port.reset(new SerialLine(fd, device, path, std::move(locate), clock));
  return dqerr::kOk;
}

SerialLine::~SerialLine() { CloseDevice(); }

void SerialLine::CloseDevice() {
  if (fd_ < 0) return;
  ioctl(fd_, TIOCNXCL);
  close(fd_);
  fd_ = -1;
}

int32_t SerialLine::Failed(int error, int32_t otherwise) {
  if (MeansGone(error) || DeviceGone()) vanished_ = true;
  return vanished_ ? dqerr::kPortVanished : otherwise;
}

bool SerialLine::DeviceGone() const {
  struct stat info {};
  return stat(path_.c_str(), &info) != 0 && (errno == ENOENT || errno == ENODEV || errno == ENXIO);
}

int32_t SerialLine::Reopen() {
  const std::string path = locate_ ? locate_() : path_;
  struct stat node {};
  if (path.empty() || stat(path.c_str(), &node) != 0) return dqerr::kPortVanished;
  // The old descriptor is held until the new one works: while it is open,
  // the kernel gives its device number (a pseudo-terminal's index, a USB
  // converter's ttyUSBn) to no other device, so a stale path cannot lead
  // to a stranger's terminal. Only the same device coming back must be let
  // go of first, as its lock and TIOCEXCL would refuse the new open.
  if (node.st_rdev == device_) CloseDevice();
  int fd = -1;
  dev_t device = 0;
  const int32_t code = OpenDevice(path, speed_, fd, device);
  // A device that is there but refuses this process says why (no access
  // rights, held by another program); any other failure means not back yet.
  if (code == dqerr::kPortAccess || code == dqerr::kPortBusy) return code;
  if (code != dqerr::kOk) return dqerr::kPortVanished;
  CloseDevice();
  fd_ = fd;
  device_ = device;
  path_ = path;
  vanished_ = false;
  replyTaken_ = false;
  NoteReconnection();
  return dqerr::kOk;
}

int32_t SerialLine::Ready() { return vanished_ ? Reopen() : dqerr::kOk; }

int32_t SerialLine::Configure(const LinkSettings& settings) {
  const speed_t speed = dqcore::TermiosSpeedOf(settings.baudRate);
  if (speed == B0) return dqerr::kBaudRate;
  // A rate asked for while the device is away is the one it is reopened
  // at: a module that comes back at it must not meet the old rate.
  if (vanished_) {
    speed_ = speed;
    return Reopen();
  }
  if (!SetRaw(fd_, speed)) {
    const int32_t code = Failed(errno, dqerr::kPortSetup);
    if (vanished_) speed_ = speed;
    return code;
  }
  speed_ = speed;
  return dqerr::kOk;
}

int32_t SerialLine::BeginAttempt() {
  if (vanished_) return Reopen();  // a reopened port has just been flushed
  // After an attempt that took its reply the line is known to work and
  // owes nothing; a fault now shows in the write or the read. Otherwise
  // look for a hang-up or a gone device file, and drop what arrived late.
  const bool clean = replyTaken_;
  replyTaken_ = false;
  if (clean) return dqerr::kOk;
  pollfd check{fd_, POLLIN, 0};
  if (poll(&check, 1, 0) > 0 && (check.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    vanished_ = true;
    return dqerr::kPortVanished;
  }
  if (DeviceGone()) {
    vanished_ = true;
    return dqerr::kPortVanished;
  }
  if (tcflush(fd_, TCIFLUSH) != 0) return Failed(errno, dqerr::kRead);
  return dqerr::kOk;
}

void SerialLine::ExchangeEnded(bool replyTaken) { replyTaken_ = replyTaken && !vanished_; }

int32_t SerialLine::Write(const uint8_t* frame, size_t size, int64_t deadlineMicros) {
  if (vanished_) return dqerr::kPortVanished;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd_, frame + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return Failed(errno, dqerr::kWrite);
    pollfd wait{fd_, POLLOUT, 0};
    int ready = PollUntil(&wait, 1, clock_, deadlineMicros);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Failed(errno, dqerr::kWrite);
    if ((wait.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Failed(EIO, dqerr::kWrite);
    if (ready == 0) return Failed(0, dqerr::kWrite);  // the line takes nothing: output is stuck
  }
  if (tap_ != nullptr) tap_->Sent(frame, size);
  // Wait until the request is on the wire, so the reply window starts now.
  while (tcdrain(fd_) != 0) {
    if (errno != EINTR) return Failed(errno, dqerr::kWrite);
  }
  return dqerr::kOk;
}

int32_t SerialLine::Receive(int64_t deadlineMicros, std::vector<uint8_t>& out, bool& arrived) {
  arrived = false;
  if (vanished_) return dqerr::kPortVanished;
  for (;;) {
    pollfd wait{fd_, POLLIN, 0};
    int ready = PollUntil(&wait, 1, clock_, deadlineMicros);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Failed(errno, dqerr::kRead);
    if (ready == 0) {
      // A device whose file is gone is not just silent.
      if (DeviceGone()) return Failed(ENODEV, dqerr::kRead);
      if (clock_.NowMicros() >= deadlineMicros) return dqerr::kOk;
      continue;
    }
    if ((wait.revents & POLLIN) != 0) {
      uint8_t chunk[256];
      ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n > 0) {
        out.insert(out.end(), chunk, chunk + n);
        arrived = true;
        if (tap_ != nullptr) tap_->Received(chunk, static_cast<size_t>(n));
        return dqerr::kOk;
      }
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      // End of file on a terminal: the other side hung up.
      return Failed(n == 0 ? EIO : errno, dqerr::kRead);
    }
    return Failed(EIO, dqerr::kRead);  // POLLHUP, POLLERR or POLLNVAL without data
  }
}

int64_t SerialLine::ReplyWindowMicros(const LinkSettings& settings) const {
  return SerialFirstByteWindowMicros(settings);
}

int64_t SerialLine::RestWindowMicros(const LinkSettings& settings, size_t missingBytes) const {
  return SerialRestWindowMicros(settings, missingBytes);
}

}  // namespace dqbus
