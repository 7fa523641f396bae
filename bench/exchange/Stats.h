// Latency statistics of one benchmark case.
#pragma once

#include <cstddef>
#include <vector>

namespace xbench {

struct Summary {
  size_t n = 0;
  double medianUs = 0;
  double p99Us = 0;
  double perSecond = 0;  // back-to-back exchanges: n / sum of latencies
};

// Nearest-rank percentile (0 < p <= 100) of ascending values; 0 when empty.
double Percentile(const std::vector<double>& sorted, double p);

Summary Summarise(std::vector<double> samplesUs);

}  // namespace xbench
