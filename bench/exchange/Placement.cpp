#include "Placement.h"

#include <vector>

namespace xbench {

bool CpuPlacement::Init(const std::string& mode, std::string* why) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) {
    *why = "the CPU set of this process cannot be read";
    return false;
  }
  std::vector<int> cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &allowed)) cpus.push_back(cpu);
  children_ = allowed;
  self_ = allowed;
  if (mode == "free") {
    description_ = "free (scheduler's choice among " + std::to_string(cpus.size()) + " CPUs)";
    return true;
  }
  if (mode == "one" && !cpus.empty()) {
    CPU_ZERO(&children_);
    CPU_SET(cpus[0], &children_);
    self_ = children_;
    description_ = "one (benchmark and children on CPU " + std::to_string(cpus[0]) + ")";
    return true;
  }
  if (mode == "two" && cpus.size() >= 2) {
    CPU_ZERO(&children_);
    CPU_SET(cpus[1], &children_);
    CPU_ZERO(&self_);
    CPU_SET(cpus[0], &self_);
    description_ = "two (benchmark on CPU " + std::to_string(cpus[0]) + ", children on CPU " +
                   std::to_string(cpus[1]) + ")";
    return true;
  }
  *why = mode == "two" ? "--cpus two needs two CPUs" : "--cpus takes one, two or free";
  return false;
}

void CpuPlacement::ForChildren() const { sched_setaffinity(0, sizeof children_, &children_); }

void CpuPlacement::ForSelf() const { sched_setaffinity(0, sizeof self_, &self_); }

}  // namespace xbench
