#include "LinkSim.h"

#include <cstdlib>
#include <filesystem>

LinkSim::~LinkSim() { Stop(); }

std::string LinkSim::Start(bool udp) {
  std::string pattern = (std::filesystem::temp_directory_path() / "dq-link-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return "cannot create a temporary folder";
  folder_ = pattern;
  const std::string portMap = folder_ + "/ports.conf";
  setenv("DQ7184_PORTMAP", portMap.c_str(), 1);
  dqsim::SimOptions options;
  options.addresses = {3};
  options.baudCode = 8;
  options.comPort = 9;
  options.portMapPath = portMap;
  options.udp = udp;
  options.udpBind = "127.0.0.1";
  options.udpPort = 0;
  sim_ = std::make_unique<dqsim::Simulator>(options);
  std::string error;
  if (!sim_->Open(&error)) return error.empty() ? "the simulator did not open" : error;
  sim_->StartThread();
  return {};
}

void LinkSim::Stop() {
  sim_.reset();
  if (folder_.empty()) return;
  unsetenv("DQ7184_PORTMAP");
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
  folder_.clear();
}
