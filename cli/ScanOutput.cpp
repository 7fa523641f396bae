#include "ScanOutput.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "Dekl.h"
#include "core/Cp1250.h"

namespace dqcli {

namespace {

using dqcommission::ScanEnd;
using dqcommission::ScanResult;

std::string Seconds(int64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(micros) / 1e6);
  return text;
}

std::string MinutesSeconds(int64_t micros) {
  int64_t seconds = (micros + 999999) / 1000000;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

uint32_t Rate(uint8_t baudCode) { return BaudRateFromCode(baudCode); }

}  // namespace

std::string ProgressText(const dqcommission::ScanProgress& progress) {
  return "probe " + std::to_string(progress.done) + "/" + std::to_string(progress.total) + ", " +
         std::to_string(Rate(progress.baudCode)) + " Bd, " + std::to_string(progress.found) + " found" +
         (progress.garbled > 0 ? ", " + std::to_string(progress.garbled) + " garbled" : std::string()) + ", " +
         MinutesSeconds(progress.leftMicros) + " left";
}

void ScanProgressLine::Show(const dqcommission::ScanProgress& progress) {
  if (!terminal_) return;
  auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(100) && progress.done != progress.total) return;
  last_ = now;
  out_ << "\r\033[K" << ProgressText(progress) << std::flush;
  shown_ = true;
}

void ScanProgressLine::Erase() {
  if (!shown_) return;
  out_ << "\r\033[K" << std::flush;
  shown_ = false;
}

void PrintModuleTable(std::ostream& out, const ScanResult& result) {
  if (result.modules.empty()) {
    out << "no module found\n";
    return;
  }
  char line[160];
  std::snprintf(line, sizeof line, "%7s  %9s  %-8s  %s\n", "address", "rate (Bd)", "type", "version");
  out << line;
  for (const auto& m : result.modules) {
    std::snprintf(line, sizeof line, "%7u  %9u  %-8s  %s", m.address, Rate(m.baudCode),
                  dqcore::Utf8FromCp1250(m.typeName).c_str(), dqcore::Utf8FromCp1250(m.version).c_str());
    out << line;
    if (m.code != 0) out << "  (" << dqcore::Utf8FromCp1250(m.codeText) << ")";
    out << "\n";
  }
}

void PrintGarbled(std::ostream& out, const ScanResult& result) {
  for (const auto& g : result.garbled) {
    out << "address " << unsigned{g.address} << " at " << Rate(g.baudCode)
        << " Bd: something answers, garbled: two modules at one address, or a module at another rate ("
        << dqcore::Utf8FromCp1250(g.codeText) << ")\n";
  }
}

void PrintSummary(std::ostream& out, const ScanResult& result) {
  switch (result.end) {
    case ScanEnd::kOpenFailed:
      out << "the link could not be opened: " << dqcore::Utf8FromCp1250(result.linkText) << "\n";
      return;
    case ScanEnd::kLinkFault:
      out << "the scan ended: the link failed (" << dqcore::Utf8FromCp1250(result.linkText) << ")\n";
      break;
    case ScanEnd::kStopped:
      out << "scan interrupted; the table holds what was found so far\n";
      break;
    case ScanEnd::kFirstFound:
    case ScanEnd::kComplete:
      break;
  }
  out << result.modules.size() << (result.modules.size() == 1 ? " module" : " modules") << " found";
  if (!result.garbled.empty()) out << ", " << result.garbled.size() << " garbled";
  out << "; " << result.probesDone << " of " << result.probesTotal << " probes in " << Seconds(result.elapsedMicros)
      << " (floor " << Seconds(result.floorMicros) << ")\n";
}

std::string ModulesJson(const ScanResult& result) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& m : result.modules) {
    nlohmann::json item = {{"address", m.address},
                           {"rate", Rate(m.baudCode)},
                           {"type", dqcore::Utf8FromCp1250(m.typeName)},
                           {"version", dqcore::Utf8FromCp1250(m.version)}};
    if (m.code != 0) item["error"] = dqcore::Utf8FromCp1250(m.codeText);
    list.push_back(std::move(item));
  }
  return list.dump(2);
}

}  // namespace dqcli
