#include "commission/Scan.h"

#include <chrono>
#include <optional>

#include "OpenLink.h"
#include "Txxx847.h"
#include "commission/Probe.h"

namespace dqcommission {

namespace {

int64_t MicrosSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
}

// A link of the scan's own: no retries, and over the LAN converter a UDP
// timeout of 0, so that a silent module costs its floor and no more.
class ScanLink {
 public:
  explicit ScanLink(const TConnectionConfig& link) : record_(link) {
    record_.UdpTimeout = 0;
    record_.Initialized = false;
    record_.DriverHandle = 0;
  }
  ~ScanLink() { CloseLink(record_); }
  ScanLink(const ScanLink&) = delete;
  ScanLink& operator=(const ScanLink&) = delete;

  // Opens the link at the rate of baudCode; 0 or the failed code.
  int32_t Open(uint8_t baudCode) {
    PackInitParams(record_);
    TLinkOutcome outcome = StartLink(record_, baudCode);
    if (!outcome.Opened()) return outcome.Code;
    return SetRate(baudCode);
  }
  int32_t SetRate(uint8_t baudCode) {
    int32_t code = DriverSetConfig(record_.InterfaceType, record_.DriverHandle,
                                   static_cast<int32_t>(BaudRateFromCode(baudCode)), BaudTiming(baudCode), 0);
    if (code == 0) baudCode_ = baudCode;
    return code;
  }
  std::optional<uint8_t> BaudCode() const { return baudCode_; }
  TInterfaceType Type() const { return record_.InterfaceType; }
  int32_t Handle() const { return record_.DriverHandle; }
  std::string Text(int32_t code) const { return DriverErrorString(record_.InterfaceType, code); }

 private:
  TConnectionConfig record_;
  std::optional<uint8_t> baudCode_;
};

}  // namespace

ScanLine LineOf(TInterfaceType type) { return type == itDq2847 ? ScanLine::kLan : ScanLine::kSerial; }

ScanResult RunScan(const TConnectionConfig& link, const ScanOptions& options, const ScanCallbacks& callbacks,
                   const std::atomic<bool>& stop) {
  ScanResult result;
  result.line = LineOf(link.InterfaceType);
  std::optional<ScanSetting> remembered;
  if (options.rememberedFirst) remembered = ScanSetting{link.ModuleAddress, BaudCodeFromRate(link.BaudRate)};
  const std::vector<ScanProbe> plan = PlanScan(options.addresses, options.baudCodes, remembered);
  result.probesTotal = plan.size();
  if (plan.empty() || stop) {
    result.end = plan.empty() ? ScanEnd::kComplete : ScanEnd::kStopped;
    return result;
  }

  ScanLink scanLink(link);
  auto fail = [&](ScanEnd end, int32_t code) {
    result.end = end;
    result.linkCode = code;
    result.linkText = scanLink.Text(code);
  };
  if (int32_t code = scanLink.Open(plan.front().baudCode); code != 0) {
    fail(ScanEnd::kOpenFailed, code);
    return result;
  }

  const int64_t planFloor = PlanFloorMicros(plan, result.line);
  const auto start = std::chrono::steady_clock::now();
  result.end = ScanEnd::kComplete;
  for (const ScanProbe& probe : plan) {
    if (stop) {
      result.end = ScanEnd::kStopped;
      break;
    }
    if (scanLink.BaudCode() != probe.baudCode) {
      if (int32_t code = scanLink.SetRate(probe.baudCode); code != 0) {
        fail(ScanEnd::kLinkFault, code);
        break;
      }
    }
    ProbeOutcome outcome = ProbeAddress(scanLink.Type(), scanLink.Handle(), probe.address);
    if (outcome.kind == ProbeKind::kLinkFault) {
      fail(ScanEnd::kLinkFault, outcome.code);
      break;
    }
    ++result.probesDone;
    result.floorMicros += ProbeFloorMicros(result.line, probe.baudCode);

    if (outcome.kind == ProbeKind::kGarbled) {
      GarbledProbe garbled{probe.address, probe.baudCode, outcome.code, scanLink.Text(outcome.code)};
      result.garbled.push_back(garbled);
      if (callbacks.garbled) callbacks.garbled(garbled);
    } else if (outcome.kind == ProbeKind::kModule) {
      FoundModule module;
      module.address = probe.address;
      module.baudCode = probe.baudCode;
      if (outcome.code == 0) {
        ModuleIdentity identity = CompleteIdentity(scanLink.Type(), scanLink.Handle(), probe.address,
                                                   outcome.firstHalf, options.identifyTries, stop);
        module.typeName = identity.typeName;
        module.version = identity.version;
        module.code = identity.code;
      } else {
        module.code = outcome.code;
      }
      if (module.code != 0) module.codeText = scanLink.Text(module.code);
      if (result.firstFoundMicros < 0) result.firstFoundMicros = MicrosSince(start);
      result.modules.push_back(module);
      if (callbacks.found) callbacks.found(module);
    }

    if (callbacks.progress) {
      ScanProgress progress;
      progress.done = result.probesDone;
      progress.total = plan.size();
      progress.baudCode = probe.baudCode;
      progress.found = result.modules.size();
      progress.garbled = result.garbled.size();
      progress.elapsedMicros = MicrosSince(start);
      const int64_t floorLeft = planFloor - result.floorMicros;
      // The floors left, stretched by the overrun seen so far (never shrunk).
      progress.leftMicros = progress.elapsedMicros > result.floorMicros && result.floorMicros > 0
                                ? floorLeft * progress.elapsedMicros / result.floorMicros
                                : floorLeft;
      callbacks.progress(progress);
    }
    if (options.firstOnly && !result.modules.empty()) {
      result.end = ScanEnd::kFirstFound;
      break;
    }
  }
  result.elapsedMicros = MicrosSince(start);
  return result;
}

}  // namespace dqcommission
