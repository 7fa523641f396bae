// A pseudo-terminal pair standing in for a serial line: the slave's path is
// what a driver or the simulator opens, the master plays the other end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/NonCopyable.h"

namespace dqtest {

// In raw mode; the slave side is also kept open here.
class PtyPair : dqcore::NonCopyable {
 public:
  PtyPair();
  ~PtyPair();
  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  int Slave() const { return slave_; }
  void CloseMaster();
  void CloseSlave();
  // Reads whatever the driver wrote, waiting up to timeoutMs for the first byte.
  std::vector<uint8_t> ReadRequest(int timeoutMs = 2000);
  void Send(const std::vector<uint8_t>& bytes);

 private:
  int master_ = -1;
  int slave_ = -1;  // kept open so the master never sees a hang-up between opens
  std::string slavePath_;
};

// Keeps the number of a pseudo-terminal this process has open from going to
// another one once its master closes: the kernel gives a number again only
// when no side of the old one is open anywhere, and the lowest free number
// goes to the next pseudo-terminal of any program. Holds a duplicate of a
// descriptor this process has on the slave (the simulator's, or a
// driver's, which TIOCEXCL would keep a new open from) until destroyed.
class PtyNumberHold : dqcore::NonCopyable {
 public:
  explicit PtyNumberHold(const std::string& slavePath);
  ~PtyNumberHold();
  // False when this process has no descriptor on slavePath.
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace dqtest
