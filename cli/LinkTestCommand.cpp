#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "Commands.h"
#include "ExitCodes.h"
#include "LinkOutcomes.h"
#include "LinkSession.h"
#include "LinkTest.h"
#include "OpenLink.h"

namespace dqcli {

namespace {

struct LinkTestArgs {
  int64_t count = 0;
  std::string request = "ident";
  std::string registerText = "0x3F";
};

nlohmann::json ReportJson(const dqcommission::LinkTestReport& report) {
  nlohmann::json outcomes = nlohmann::json::object();
  for (const auto& outcome : report.outcomes) {
    const auto text = report.texts.find(outcome.first);
    outcomes[dqcommission::OutcomeKey(outcome.first)] = {
        {"code", outcome.first},
        {"count", outcome.second},
        {"text", text != report.texts.end() ? text->second : std::string()}};
  }
  nlohmann::json latency;
  if (report.latency.any) {
    latency = {{"min", report.latency.minMs},   {"median", report.latency.medianMs}, {"p95", report.latency.p95Ms},
               {"p99", report.latency.p99Ms},   {"max", report.latency.maxMs}};
  }
  return {{"planned", report.planned},
          {"exchanges", report.exchanges},
          {"stopped", report.stopped},
          {"rate", report.rate},
          {"outcomes", outcomes},
          {"latency_ms", latency},
          {"floor_ms", report.floorMs},
          {"exchanges_per_second", report.exchangesPerSecond},
          {"floor_per_second", report.floorPerSecond},
          {"verdict", dqcommission::VerdictName(report.judgement.verdict)},
          {"reason", report.judgement.reason}};
}

int RunLinkTestCommand(const LinkTestArgs& args, bool json, const LinkOpener& openLink, const std::atomic<bool>& stop) {
  static const std::map<std::string, dqcommission::LinkRequest> kRequests = {
      {"ident", dqcommission::LinkRequest::kIdentify},
      {"register", dqcommission::LinkRequest::kRegister},
      {"inputs", dqcommission::LinkRequest::kInputs}};
  dqcommission::LinkTestOptions options;
  options.count = args.count;
  options.request = kRequests.at(args.request);
  int32_t reg = 0;
  if (!TryParseInteger(args.registerText, reg) || reg < 0 || reg > 255) {
    std::cerr << "linktest: --register takes a register number 0-255, not \"" << args.registerText << "\"\n";
    return kExitUsage;
  }
  options.registerNumber = static_cast<uint8_t>(reg);

  TConnectionConfig config{};
  if (const int code = openLink(config, std::cerr); code != 0) return code;
  const dqcommission::ModuleLink link{config.InterfaceType, config.DriverHandle, config.ModuleAddress};
  const dqcommission::LinkTestReport report = dqcommission::RunLinkTest(link, config.BaudRate, options, stop);
  CloseLink(config);

  if (json) std::cout << ReportJson(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  else dqcommission::PrintLinkTest(report, std::cout);
  if (report.exchanges == 0 && report.setupError != 0) return kExitLink;
  // A stopped test has not measured what was asked for, whatever its verdict.
  if (report.stopped) return kExitDiffers;
  return report.judgement.verdict == dqcommission::LinkVerdict::kGood ? kExitOk : kExitDiffers;
}

}  // namespace

void AddLinkTestCommand(CLI::App& app, CommandContext& context) {
  auto args = std::make_shared<LinkTestArgs>();
  CLI::App* test = app.add_subcommand("linktest", "Measure the line: N exchanges of one attempt each, and a verdict");
  test->add_option("N", args->count, "Number of exchanges (1-1000000000)")
      ->required()
      ->check(CLI::Range(int64_t{1}, int64_t{1000000000}));
  test->add_option("--request", args->request, "The request repeated: ident (default), register or inputs")
      ->check(CLI::IsMember({"ident", "register", "inputs"}));
  test->add_option("--register", args->registerText, "Register read by --request register (default 0x3F)");
  OnInterruptibleRun(*test, context, [args](bool json, const LinkOpener& openLink, const std::atomic<bool>& stop) {
    return RunLinkTestCommand(*args, json, openLink, stop);
  });
}

}  // namespace dqcli
