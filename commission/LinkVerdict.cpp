#include "LinkVerdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dqcommission {

namespace {

// The value at rank ceil(p * n) of the sorted values.
double NearestRank(const std::vector<double>& sorted, double p) {
  const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return sorted[std::min(sorted.size(), std::max<size_t>(rank, 1)) - 1];
}

std::string Format(const char* format, double a, double b = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

LatencySummary SummarizeLatencies(std::vector<double> latenciesMs) {
  LatencySummary summary;
  if (latenciesMs.empty()) return summary;
  std::sort(latenciesMs.begin(), latenciesMs.end());
  summary.any = true;
  summary.minMs = latenciesMs.front();
  summary.medianMs = NearestRank(latenciesMs, 0.50);
  summary.p95Ms = NearestRank(latenciesMs, 0.95);
  summary.p99Ms = NearestRank(latenciesMs, 0.99);
  summary.maxMs = latenciesMs.back();
  return summary;
}

const char* VerdictName(LinkVerdict verdict) {
  switch (verdict) {
    case LinkVerdict::kGood: return "good";
    case LinkVerdict::kMarginal: return "marginal";
    case LinkVerdict::kBad: return "bad";
  }
  return "bad";
}

Judgement JudgeLink(int64_t exchanges, int64_t successes, const LatencySummary& latency, double floorMs) {
  Judgement judgement;
  if (exchanges <= 0) {
    judgement.reason = "no exchange was made";
    return judgement;
  }
  const double rate = static_cast<double>(successes) / static_cast<double>(exchanges);
  const std::string success = Format("%.2f %% of the exchanges succeeded", 100.0 * rate);
  if (rate < kMarginalSuccessRate) {
    judgement.reason = success + Format(", below %.0f %%", 100.0 * kMarginalSuccessRate);
    return judgement;
  }
  if (rate < kGoodSuccessRate) {
    judgement.verdict = LinkVerdict::kMarginal;
    judgement.reason = success + Format(", below %.1f %%", 100.0 * kGoodSuccessRate);
    return judgement;
  }
  const double bound = kGoodP99FloorFactor * floorMs;
  if (latency.p99Ms > bound) {
    judgement.verdict = LinkVerdict::kMarginal;
    judgement.reason = success + Format(", but p99 %.1f ms is above twice the wire floor (%.1f ms)", latency.p99Ms, bound);
    return judgement;
  }
  judgement.verdict = LinkVerdict::kGood;
  judgement.reason = success + Format(", p99 %.1f ms within twice the wire floor (%.1f ms)", latency.p99Ms, bound);
  return judgement;
}

}  // namespace dqcommission
