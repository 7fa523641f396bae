// Where the benchmark and its child processes run. On a virtual machine a
// wake-up across CPUs can cost tens of microseconds (a halted virtual CPU
// is woken through the host), so a loopback round trip is either a few
// microseconds or ~70, depending on where the scheduler happens to put the
// two ends. Pinning makes the figures repeatable:
//   one  - the benchmark and its children share one CPU (the software cost
//          of the path, default);
//   two  - the children on one CPU, the benchmark on another (every wake-up
//          crosses CPUs);
//   free - the scheduler decides.
#pragma once

#include <sched.h>

#include <string>

namespace xbench {

class CpuPlacement {
 public:
  // mode: "one", "two" or "free". False (with why) when the mode is
  // unknown or this process may run on too few CPUs.
  bool Init(const std::string& mode, std::string* why);
  // Before starting children: they inherit the CPU set in force.
  void ForChildren() const;
  // After starting them: the benchmark's own CPU set.
  void ForSelf() const;
  std::string Describe() const { return description_; }

 private:
  cpu_set_t children_{};
  cpu_set_t self_{};
  std::string description_;
};

}  // namespace xbench
