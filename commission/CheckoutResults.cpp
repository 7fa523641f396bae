#include "commission/CheckoutResults.h"

#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "core/AtomicFile.h"

namespace dqcommission {

namespace {

constexpr const char* kFormat = "dq7184-checkout";
constexpr int kFormatVersion = 1;

const char* const kVerdictNames[] = {"pass", "fail", "skipped", "not checked"};
const char* const kEndNames[] = {"passed", "failed", "stopped", "cancelled", "link error"};

template <typename E, size_t N>
bool FromName(const std::string& name, const char* const (&names)[N], E& value) {
  for (size_t i = 0; i < N; ++i) {
    if (name == names[i]) {
      value = static_cast<E>(i);
      return true;
    }
  }
  return false;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

uint32_t FromHex(const std::string& text) { return static_cast<uint32_t>(std::stoul(text, nullptr, 16)); }

}  // namespace

int CheckoutResults::Count(Verdict verdict) const {
  int n = 0;
  for (const ChannelResult& c : channels) n += c.verdict == verdict ? 1 : 0;
  return n;
}

const char* VerdictName(Verdict verdict) { return kVerdictNames[static_cast<int>(verdict)]; }
const char* EndName(CheckoutEnd end) { return kEndNames[static_cast<int>(end)]; }

std::string IsoLocalSeconds(std::chrono::system_clock::time_point when) {
  std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  // strftime gives +0100; ISO 8601 extended form wants +01:00.
  std::string iso = text;
  if (iso.size() >= 5) iso.insert(iso.size() - 2, ":");
  return iso;
}

std::string CheckoutResultsJson(const CheckoutResults& r) {
  nlohmann::ordered_json j;
  j["format"] = kFormat;
  j["version"] = kFormatVersion;
  j["address"] = r.address;
  j["module"] = r.moduleIdent;
  j["started"] = r.started;
  j["finished"] = r.finished;
  j["outcome"] = EndName(r.end);
  j["message"] = r.message;
  j["doutNegation"] = Hex(r.doutNegation);
  j["dinNegation"] = Hex(r.dinNegation);
  j["doutInitial"] = Hex(r.doutInitial);
  j["outputsWritten"] = r.outputsWritten;
  j["outputsRestored"] = r.outputsRestored;
  j["channels"] = nlohmann::ordered_json::array();
  for (const ChannelResult& c : r.channels) {
    j["channels"].push_back({{"channel", c.channel},
                             {"result", VerdictName(c.verdict)},
                             {"how", c.how},
                             {"detail", c.detail},
                             {"time", c.time}});
  }
  return j.dump(2) + "\n";
}

bool ParseCheckoutResults(const std::string& json, CheckoutResults& results, std::string* why) {
  try {
    nlohmann::json j = nlohmann::json::parse(json);
    if (j.value("format", "") != kFormat) {
      if (why != nullptr) *why = "not a checkout result file";
      return false;
    }
    CheckoutResults r;
    r.address = j.at("address").get<int>();
    r.moduleIdent = j.at("module").get<std::string>();
    r.started = j.at("started").get<std::string>();
    r.finished = j.at("finished").get<std::string>();
    r.message = j.value("message", "");
    r.doutNegation = FromHex(j.at("doutNegation").get<std::string>());
    r.dinNegation = FromHex(j.at("dinNegation").get<std::string>());
    r.doutInitial = FromHex(j.at("doutInitial").get<std::string>());
    r.outputsWritten = j.at("outputsWritten").get<bool>();
    r.outputsRestored = j.at("outputsRestored").get<bool>();
    if (!FromName(j.at("outcome").get<std::string>(), kEndNames, r.end)) throw std::invalid_argument("unknown outcome");
    for (const auto& c : j.at("channels")) {
      ChannelResult channel;
      channel.channel = c.at("channel").get<std::string>();
      if (!FromName(c.at("result").get<std::string>(), kVerdictNames, channel.verdict))
        throw std::invalid_argument("unknown result of " + channel.channel);
      channel.how = c.value("how", "");
      channel.detail = c.value("detail", "");
      channel.time = c.value("time", "");
      r.channels.push_back(channel);
    }
    results = r;
    return true;
  } catch (const std::exception& e) {
    if (why != nullptr) *why = std::string("not a valid checkout result file: ") + e.what();
    return false;
  }
}

bool SaveCheckoutResults(const std::string& path, const CheckoutResults& results, std::string* why) {
  dqcore::SaveResult saved = dqcore::ReplaceFileAtomically(path, CheckoutResultsJson(results));
  if (!saved.Ok() && why != nullptr) *why = path + ": " + std::strerror(saved.error);
  return saved.Ok();
}

bool LoadCheckoutResults(const std::string& path, CheckoutResults& results, std::string* why) {
  std::string bytes;
  int error = dqcore::ReadFileBytes(path, bytes);
  if (error != 0) {
    if (why != nullptr) *why = path + ": " + std::strerror(error);
    return false;
  }
  std::string reason;
  if (!ParseCheckoutResults(bytes, results, &reason)) {
    if (why != nullptr) *why = path + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace dqcommission
