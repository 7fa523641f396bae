#include "sim/lines/PtyPort.h"
#include "core/BaudRates.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace dqsim {

bool PtyPort::Open(uint32_t initialRate, std::string* error) {
  Close();
  auto fail = [&](const char* what) {
    if (error != nullptr) *error = std::string(what) + ": " + std::strerror(errno);
    Close();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (grantpt(master_) != 0) return fail("grantpt");
  if (unlockpt(master_) != 0) return fail("unlockpt");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname_r");
  path_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail("open pty slave");
  if (!MakeRawLine(slave_, initialRate, error)) {
    Close();
    return false;
  }
  int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  return true;
}

void PtyPort::Close() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = -1;
  master_ = -1;
  path_.clear();
}

uint32_t PtyPort::LineRate() const {
  termios tio{};
  if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) return 0;
  return dqcore::RateOfTermiosSpeed(cfgetospeed(&tio));
}

}  // namespace dqsim
