#include "FaultRig.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "PortMap.h"
#include "ProtocolBounds.h"
#include "Txxx847.h"

namespace faults {

const char* LinkName(LinkKind link) { return link == LinkKind::kUdp ? "UDP" : "COM (pty)"; }

double SendBoundMs(LinkKind link) {
  return link == LinkKind::kUdp ? LanSendBoundMs(kBaudRate, kTimingMs, kUdpTimeoutMs)
                                : SerialSendBoundMs(kBaudRate, kTimingMs, kRetries);
}

uint16_t FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

FaultRig::FaultRig() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dq-faults-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
  portMap_ = folder_ + "/ports.conf";
  // The COM library looks its port up in this map; the simulator enters its
  // pseudo-terminal there.
  setenv("DQ7184_PORTMAP", portMap_.c_str(), 1);
}

FaultRig::~FaultRig() {
  if (sim_) sim_->StopThread();
  sim_.reset();
  unsetenv("DQ7184_PORTMAP");
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool FaultRig::Start(std::string* error) {
  dqsim::SimOptions options;
  options.addresses = {kModuleAddress};
  options.baudCode = kBaudCode;
  options.pty = true;
  options.comPort = kComPort;
  options.portMapPath = portMap_;
  options.udp = true;
  options.udpBind = "127.0.0.1";
  // A fixed port, so that lines brought back after a disappearance answer
  // where the LAN link still sends.
  for (int attempt = 0; attempt < 5 && !sim_; ++attempt) {
    udpPort_ = FreeUdpPort();
    options.udpPort = udpPort_;
    options.inputPattern = false;
    auto sim = std::make_unique<dqsim::Simulator>(options);
    if (sim->Open(error)) sim_ = std::move(sim);
  }
  if (!sim_) return false;
  sim_->StartThread();
  return true;
}

void NameGoneDevice(const std::string& portMap, const std::string& folder) {
  dqports::SetEntryIn(portMap, kComPort, folder + "/vanished-pty");
}

void FaultRig::NameGoneDevice() const { faults::NameGoneDevice(portMap_, folder_); }

void FaultRig::WaitQuiet() {
  faults::WaitQuiet([this]() { return sim_->Stats(); });
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
