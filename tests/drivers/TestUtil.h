// Helpers of the driver suites: a pseudo-terminal pair
// and a scripted module at its far end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Protocol.h"
#include "TempDir.h"

namespace dqtest {

std::string ReadWhole(const std::string& file);

// A pseudo-terminal pair in raw mode; the slave's path is what the driver
// opens, the master plays the module.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
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

std::vector<uint8_t> Bytes(std::initializer_list<int> values);
std::vector<uint8_t> ReplyFrame(uint8_t address, uint8_t command, uint8_t status, std::vector<uint8_t> data,
                                uint16_t transaction = 0);
// The reply to a request: its transaction number, address and command.
std::vector<uint8_t> ReplyTo(const dqbus::Request& request, uint8_t status, std::vector<uint8_t> data);

// A module on the master side of a pty, answering each request from a
// thread with the replies a function makes (possibly none or several
// frames, or raw bytes).
class PtyModule {
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
