// Helpers of the driver suites: a pseudo-terminal pair
// and a scripted module at its far end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Frames.h"
#include "TempDir.h"
#include "core/NonCopyable.h"

namespace dqtest {

// A pseudo-terminal pair in raw mode; the slave's path is what the driver
// opens, the master plays the module.
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

// A module on the master side of a pty, answering each request from a
// thread with the replies a function makes (possibly none or several
// frames, or raw bytes).
class PtyModule : dqcore::NonCopyable {
 public:
  using Answer = std::vector<uint8_t> (*)(const dqbus::Request&);
  PtyModule(PtyPair& pty, Answer answer);
  ~PtyModule();
  int Requests() const;

 private:
  struct State;
  State* state_;
};

}  // namespace dqtest
