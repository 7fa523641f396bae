#include "WatchSample.h"

#include "Txxx847.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

struct Exchange {
  uint8_t status = 0;
  uint8_t b[4] = {};  // b4..b7
  TExchangeReply reply{};
};

void Send(const ModuleLink& link, uint8_t command, uint8_t subcode, Exchange& ex) {
  uint8_t b3 = 0;
  ex.b[0] = ex.b[1] = ex.b[2] = ex.b[3] = 0;
  ModuleExchange(link.type, link.handle, link.address, command, subcode, b3, ex.b[0], ex.b[1], ex.b[2], ex.b[3],
                 ex.status, ex.reply);
}

uint32_t Image(const Exchange& ex) { return PackBytes(ex.b[0], ex.b[1], ex.b[2], ex.b[3]); }

uint8_t Low(uint32_t word) { return static_cast<uint8_t>(word & 0xFF); }

bool Failed(const ModuleLink& link, const Exchange& ex, WatchSample& sample) {
  if (ex.status == 0) return false;
  sample.error = ex.status;
  sample.errorText = Utf8FromCp1250(DriverErrorString(link.type, ex.status));
  return true;
}

}  // namespace

WatchSample ReadWatchSample(const ModuleLink& link, const WatchSources& sources, const std::atomic<bool>& stop) {
  WatchSample sample;
  Exchange ex;
  // One exchange into ex; false when the sample ends here, stopped or failed.
  const auto next = [&](uint8_t command, uint8_t subcode) {
    if (stop.load()) {
      sample.interrupted = true;
      return false;
    }
    Send(link, command, subcode, ex);
    return !Failed(link, ex, sample);
  };
  if (sources.inputs) {
    if (!next(dqcmd::kCmdRead, dqcmd::kSubInputs)) return sample;
    sample.hasInputs = true;
    sample.inputs = Image(ex);
  }
  if (sources.counters) {
    for (uint8_t group = 0; group < dqcmd::kCounterGroupCount; ++group) {
      if (!next(dqcmd::kCmdReadCounters, group)) return sample;
      for (int j = 0; j < dqcmd::kCountersPerGroup; ++j) {
        const uint32_t* w = ex.reply.Words + 4 * j;
        sample.counters[group * dqcmd::kCountersPerGroup + j] = PackBytes(Low(w[0]), Low(w[1]), Low(w[2]), Low(w[3]));
      }
      sample.countersRead = (group + 1) * dqcmd::kCountersPerGroup;
    }
  }
  if (sources.status) {
    if (!next(dqcmd::kCmdReadModule, dqcmd::kSubStatusRegister)) return sample;
    sample.hasStatus = true;
    sample.status = Image(ex);
  }
  return sample;
}

}  // namespace dqcommission
