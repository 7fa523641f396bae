#include "FaultRig.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "LoopbackUdp.h"
#include "PortMap.h"
#include "ProtocolBounds.h"
#include "Txxx847.h"

namespace faults {

const char* LinkName(LinkKind link) { return link == LinkKind::kUdp ? "UDP" : "COM (pty)"; }

double SendBoundMs(LinkKind link) {
  return link == LinkKind::kUdp ? LanSendBoundMs(kBaudRate, kTimingMs, kUdpTimeoutMs)
                                : SerialSendBoundMs(kBaudRate, kTimingMs, kRetries);
}

bool FaultRig::Start(std::string* error) {
  dqsim::SimOptions options;
  options.addresses = {kModuleAddress};
  options.baudCode = kBaudCode;
  options.pty = true;
  options.comPort = kComPort;
  options.udp = true;
  options.inputPattern = false;
  // A fixed port, so that lines brought back after a disappearance answer
  // where the LAN link still sends.
  for (int attempt = 0; attempt < 5 && !sim_.Running(); ++attempt) {
    udpPort_ = dqtest::FreeUdpPort();
    options.udpPort = udpPort_;
    const std::string failure = sim_.Start(options);
    if (!failure.empty() && error != nullptr) *error = failure;
  }
  return sim_.Running();
}

void NameGoneDevice(const std::string& portMap, const std::string& folder) {
  dqports::SetEntryIn(portMap, kComPort, folder + "/vanished-pty");
}

void FaultRig::NameGoneDevice() const { faults::NameGoneDevice(sim_.PortMap(), Folder()); }

void FaultRig::WaitQuiet() {
  faults::WaitQuiet([this]() { return sim_.Sim().Stats(); });
}

void WaitQuiet(const std::function<dqsim::SimStats()>& stats) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  dqsim::SimStats last = stats();
  auto stableSince = Clock::now();
  while (Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const dqsim::SimStats now = stats();
    if (now.requests != last.requests || now.sent != last.sent) {
      last = now;
      stableSince = Clock::now();
      continue;
    }
    const bool allSent = now.answered == now.sent + now.silenced;
    if (allSent && Clock::now() - stableSince > std::chrono::milliseconds(30)) break;
  }
  // Replies written to the pseudo-terminal reach the driver's side through
  // the kernel's buffer a moment later; the next exchange flushes them.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void CloseLink(TConnectionConfig& config) {
  int32_t handle = config.DriverHandle;
  if (DriverIsBound()) DriverDone(config.InterfaceType, handle);
  config.DriverHandle = handle;
  config.Initialized = false;
}

}  // namespace faults
