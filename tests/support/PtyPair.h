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

}  // namespace dqtest
