// A module whose reply frame never ends, on a pseudo-terminal: each request
// is answered by the header of a 64-byte reply whose further bytes come one
// at a time, each in time to keep the frame alive, so that every attempt
// runs to its hard bound (first-byte window + rest of a longest reply).
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "PtyPair.h"

namespace bench {

class EndlessFrame {
 public:
  // dripMs: the pause between two bytes of a frame (below the driver's
  // 20 ms allowance between bytes).
  explicit EndlessFrame(int dripMs = 10);
  ~EndlessFrame();
  EndlessFrame(const EndlessFrame&) = delete;
  EndlessFrame& operator=(const EndlessFrame&) = delete;

  // The device a driver opens.
  const std::string& Path() const { return pty_.SlavePath(); }

 private:
  void Loop();

  dqtest::PtyPair pty_;
  int dripMs_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace bench
