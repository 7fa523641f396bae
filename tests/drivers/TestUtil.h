// Helpers of the driver suites: a scripted module at the far end of a
// pseudo-terminal pair.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Frames.h"
#include "PtyPair.h"
#include "TempDir.h"
#include "core/NonCopyable.h"

namespace dqtest {

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
