// The figures of a link test and the verdict on the line. Thresholds (user
// guide, "Testing the line"): good at a success rate of at least 99.9 % with
// the p99 latency at most twice the wire floor; marginal at least 99 %;
// bad below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dqcommission {

constexpr double kGoodSuccessRate = 0.999;
constexpr double kMarginalSuccessRate = 0.99;
constexpr double kGoodP99FloorFactor = 2.0;

struct LatencySummary {
  bool any = false;  // false when no latency was measured
  double minMs = 0, medianMs = 0, p95Ms = 0, p99Ms = 0, maxMs = 0;
};

// Nearest-rank percentiles of the latencies.
LatencySummary SummarizeLatencies(std::vector<double> latenciesMs);

enum class LinkVerdict { kGood, kMarginal, kBad };
const char* VerdictName(LinkVerdict verdict);  // "good", "marginal", "bad"

struct Judgement {
  LinkVerdict verdict = LinkVerdict::kBad;
  std::string reason;
};

// The verdict on `successes` of `exchanges` with the latencies of the
// successful ones against the wire floor of one exchange.
Judgement JudgeLink(int64_t exchanges, int64_t successes, const LatencySummary& latency, double floorMs);

}  // namespace dqcommission
