#include "LinkTest.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "LinkOutcomes.h"
#include "Txxx847.h"
#include "WireFloor.h"
#include "core/DriverAbi.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kOneAttempt = 0;
constexpr int kReplyDataBytes = 4;  // every request of a link test has four reply bytes

struct Request {
  uint8_t command, subcode, b4, b5;
};

Request RequestOf(const LinkTestOptions& options) {
  switch (options.request) {
    case LinkRequest::kRegister:
      return {dqcmd::kCmdReadRegister, dqcmd::kSubRegister, options.registerNumber, options.registerNumber};
    case LinkRequest::kInputs:
      return {dqcmd::kCmdRead, dqcmd::kSubInputs, 0, 0};
    case LinkRequest::kIdentify:
      break;
  }
  return {dqcmd::kCmdIdentify, dqcmd::kSubTypeNameFirst, 0, 0};
}

int32_t SetRetries(const ModuleLink& link, uint32_t rate, int32_t retries) {
  const uint8_t code = BaudCodeFromRate(rate);
  return DriverSetConfig(link.type, link.handle, static_cast<int32_t>(BaudRateFromCode(code)), BaudTiming(code),
                         retries);
}

}  // namespace

LinkTestReport RunLinkTest(const ModuleLink& link, uint32_t baudRate, const LinkTestOptions& options,
                           const std::atomic<bool>& stop) {
  LinkTestReport report;
  report.planned = options.count;
  report.rate = baudRate;
  report.floorMs = ExchangeFloorMs(baudRate, kReplyDataBytes);
  report.floorPerSecond = report.floorMs > 0 ? 1000.0 / report.floorMs : 0;

  report.setupError = SetRetries(link, baudRate, kOneAttempt);
  if (report.setupError != 0) {
    report.setupErrorText = Utf8FromCp1250(DriverErrorString(link.type, report.setupError));
    return report;
  }

  const Request request = RequestOf(options);
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(options.count, 1 << 20))));
  TExchangeReply reply{};
  const Clock::time_point start = Clock::now();
  for (int64_t i = 0; i < options.count; ++i) {
    if (stop.load()) {
      report.stopped = true;
      break;
    }
    uint8_t b3 = 0, b4 = request.b4, b5 = request.b5, b6 = 0, b7 = 0, status = 0;
    const Clock::time_point t0 = Clock::now();
    ModuleExchange(link.type, link.handle, link.address, request.command, request.subcode, b3, b4, b5, b6, b7, status,
                   reply);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    ++report.exchanges;
    ++report.outcomes[status];
    if (status == 0) latencies.push_back(ms);
  }
  report.seconds = std::chrono::duration<double>(Clock::now() - start).count();

  // The program's number of retries again, for whatever the link does next.
  const int32_t restored = SetRetries(link, baudRate, dqabi::kSetConfigRetries);
  if (restored != 0) {
    report.setupError = restored;
    report.setupErrorText = Utf8FromCp1250(DriverErrorString(link.type, restored));
  }

  for (const auto& outcome : report.outcomes)
    report.texts[outcome.first] = Utf8FromCp1250(DriverErrorString(link.type, outcome.first));
  report.latency = SummarizeLatencies(std::move(latencies));
  report.exchangesPerSecond = report.seconds > 0 ? static_cast<double>(report.exchanges) / report.seconds : 0;
  report.judgement = JudgeLink(report.exchanges, report.Successes(), report.latency, report.floorMs);
  return report;
}

void PrintLinkTest(const LinkTestReport& report, std::ostream& out) {
  char line[256];
  if (report.exchanges == 0 && report.setupError != 0) {
    out << "link test not run: the retries cannot be set (" << report.setupError << ": " << report.setupErrorText
        << ")\n";
    return;
  }
  std::snprintf(line, sizeof line, "%lld of %lld exchanges%s, one attempt each, %u Bd\n",
                static_cast<long long>(report.exchanges), static_cast<long long>(report.planned),
                report.stopped ? " (stopped)" : "", report.rate);
  out << line;
  for (const auto& outcome : report.outcomes) {
    const double share = report.exchanges > 0 ? 100.0 * outcome.second / report.exchanges : 0;
    std::snprintf(line, sizeof line, "  %8lld  %7.3f %%  %-28s (%d: ", static_cast<long long>(outcome.second), share,
                  OutcomeName(outcome.first).c_str(), outcome.first);
    const auto text = report.texts.find(outcome.first);
    out << line << (text != report.texts.end() ? text->second : std::string()) << ")\n";
  }
  if (report.latency.any) {
    const LatencySummary& l = report.latency;
    std::snprintf(line, sizeof line,
                  "latency ms: min %.2f  median %.2f  p95 %.2f  p99 %.2f  max %.2f  (wire floor %.2f)\n", l.minMs,
                  l.medianMs, l.p95Ms, l.p99Ms, l.maxMs, report.floorMs);
    out << line;
  } else {
    out << "latency: no exchange succeeded\n";
  }
  std::snprintf(line, sizeof line, "%.1f exchanges/s, wire floor %.1f/s (%.1f %%)\n", report.exchangesPerSecond,
                report.floorPerSecond,
                report.floorPerSecond > 0 ? 100.0 * report.exchangesPerSecond / report.floorPerSecond : 0.0);
  out << line;
  out << "verdict: " << VerdictName(report.judgement.verdict) << " (" << report.judgement.reason << ")\n";
  if (report.setupError != 0) {
    out << "warning: the retries could not be set back (" << report.setupError << ": " << report.setupErrorText
        << ")\n";
  }
}

}  // namespace dqcommission
