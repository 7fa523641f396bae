#include "Stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace xbench {

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
  return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

Summary Summarise(std::vector<double> samplesUs) {
  Summary s;
  std::sort(samplesUs.begin(), samplesUs.end());
  s.n = samplesUs.size();
  if (s.n == 0) return s;
  s.medianUs = Percentile(samplesUs, 50);
  s.p99Us = Percentile(samplesUs, 99);
  const double total = std::accumulate(samplesUs.begin(), samplesUs.end(), 0.0);
  s.perSecond = total > 0 ? static_cast<double>(s.n) * 1e6 / total : 0;
  return s;
}

}  // namespace xbench
