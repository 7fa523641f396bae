// The simulator's pseudo-terminal. A driver opens the slave path as its
// serial port; the simulator reads and writes the master. The simulator
// keeps a slave descriptor of its own open, so that the master never sees
// a hang-up when the driver closes the port, and reads the rate the driver
// set from the slave's line settings.
#pragma once

#include "sim/lines/StreamPort.h"

namespace dqsim {

class PtyPort : public StreamPort {
 public:
  PtyPort() = default;
  ~PtyPort() override { Close(); }
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // A new pseudo-terminal, raw, at initialRate until a driver sets its own.
  bool Open(uint32_t initialRate, std::string* error);

  int Fd() const override { return master_; }
  bool IsOpen() const override { return master_ >= 0; }
  void Close() override;
  const std::string& Path() const override { return path_; }
  uint32_t LineRate() const override;
  void FollowModuleRate(uint32_t) override {}  // the driver sets the rate
  const char* Kind() const override { return "pty"; }
  bool PacedByLine() const override { return false; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace dqsim
