#include "CommonOptions.h"

#include <cstdio>

#include "AddressList.h"
#include "core/BaudRates.h"
#include "core/DriverAbi.h"

namespace dqcli {

namespace {

constexpr int kMaxComPort = 255;
constexpr int kMaxUdpPort = 65535;
constexpr int kMaxUdpTimeoutMs = 60000;
constexpr int32_t kMaxIsaBase = 0xFFFF;

std::vector<std::string> InterfaceKeywords() {
  std::vector<std::string> words;
  for (const auto& library : dqabi::kLibraries) words.push_back(library.keyword);
  return words;
}

// The interface the options imply when --interface is not given: the one
// whose own options were used; -1 when none was, -2 for a mixture.
int ImpliedInterface(const CommonOptions& o) {
  int implied = -1;
  auto imply = [&implied](bool used, int type) {
    if (!used) return;
    implied = implied == -1 || implied == type ? type : -2;
  };
  imply(o.comPort != 0, itComPort);
  imply(!o.isaBase.empty(), itPci847);
  imply(!o.host.empty() || o.udpPort != 0 || o.udpTimeout != 0, itDq2847);
  return implied;
}

}  // namespace

void AddConnectionOptions(CLI::App& command, CommonOptions& o) {
  const char* group = "Connection (default: the link of W_dq7184.ini beside the program)";
  command.add_option("--interface", o.interfaceName, "com, isa, pci, usb or lan")
      ->check(CLI::IsMember(InterfaceKeywords()))
      ->group(group);
  command.add_option("--com", o.comPort, "COM port number (com)")->check(CLI::Range(1, kMaxComPort))->group(group);
  command.add_option("--isa-base", o.isaBase, "base address of the ISA card, e.g. 0x300 (isa)")->group(group);
  command.add_option("--host", o.host, "IP address of the LAN converter (lan)")->group(group);
  command.add_option("--udp-port", o.udpPort, "UDP port of the LAN converter (lan)")
      ->check(CLI::Range(1, kMaxUdpPort))
      ->group(group);
  command.add_option("--udp-timeout", o.udpTimeout, "bound of one exchange in ms (lan)")
      ->check(CLI::Range(1, kMaxUdpTimeoutMs))
      ->group(group);
  command.add_option("--address", o.address, "module bus address 0-255 (restore: also a list, e.g. 1,4,7-9)")->group(group);
  command.add_option("--rate", o.rate, "baud rate in Bd: 600 ... 115200")->group(group);
}

void AddCommonOptions(CLI::App& command, CommonOptions& o) {
  AddConnectionOptions(command, o);
  command.add_flag("--json", o.json, "report as JSON on standard output");
  command.add_flag("--trace", o.trace,
                   "every frame sent and received (time, direction, bytes in hex, decoded) on standard error");
  command.add_option("--trace-file", o.traceFile, "the frame trace into FILE instead (appended; implies --trace)");
}

bool ChooseLink(const CommonOptions& o, LinkChoice& choice, std::string& error) {
  TConnectionConfig& config = choice.config;
  choice.trace = o.trace || !o.traceFile.empty();
  choice.traceFile = o.traceFile;
  SetConnectionDefaults(&config);
  // Read only: the settings file belongs to W_DQ7184.
  ReadSettings(&config, SettingsFilePath());

  int implied = ImpliedInterface(o);
  if (!o.interfaceName.empty()) {
    int type = dqabi::LibraryIndexOfKeyword(o.interfaceName);
    if (implied >= 0 && implied != type) {
      error = "the options given belong to --interface " + std::string(dqabi::kLibraries[implied].keyword) +
              ", not " + o.interfaceName;
      return false;
    }
    config.InterfaceType = static_cast<TInterfaceType>(type);
  } else if (implied == -2) {
    error = "options of several interfaces given; choose one with --interface";
    return false;
  } else if (implied >= 0) {
    config.InterfaceType = static_cast<TInterfaceType>(implied);
  }

  if (o.comPort != 0) config.ComPort = static_cast<uint8_t>(o.comPort);
  if (!o.isaBase.empty()) {
    int32_t base = 0;
    if (!TryParseInteger(o.isaBase, base) || base < 0 || base > kMaxIsaBase) {
      error = "--isa-base \"" + o.isaBase + "\" is no address 0-0xFFFF";
      return false;
    }
    config.IsaBaseAddress = static_cast<uint16_t>(base);
  }
  if (!o.host.empty()) config.IpAddress = Cp1250FromUtf8(o.host);
  if (o.udpPort != 0) config.UdpPort = static_cast<uint32_t>(o.udpPort);
  if (o.udpTimeout != 0) config.UdpTimeout = static_cast<uint32_t>(o.udpTimeout);

  if (o.rate != 0) {
    int code = dqcore::BaudCodeOf(static_cast<uint32_t>(o.rate));
    if (code < 0) {
      error = "--rate " + std::to_string(o.rate) + " is none of 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200";
      return false;
    }
    config.BaudRate = static_cast<uint32_t>(o.rate);
  }
  choice.baudCode = BaudCodeFromRate(config.BaudRate);

  choice.addresses = {config.ModuleAddress};
  if (!o.address.empty() && !dqcommission::ParseAddressList(o.address, choice.addresses, error)) {
    error = "--address: " + error;
    return false;
  }
  return true;
}

std::string DescribeLink(const TConnectionConfig& config, uint8_t baudCode) {
  std::string where = dqabi::kLibraries[config.InterfaceType % dqabi::kLibraryCount].keyword;
  char hex[16];
  switch (config.InterfaceType) {
    case itComPort: where += " COM" + std::to_string(config.ComPort); break;
    case itPci847:
      std::snprintf(hex, sizeof hex, "0x%X", config.IsaBaseAddress);
      where += std::string(" base ") + hex;
      break;
    case itDq2847:
      where += " " + Utf8FromCp1250(config.IpAddress) + ":" + std::to_string(config.UdpPort) + " timeout " +
               std::to_string(config.UdpTimeout) + " ms";
      break;
    default: break;
  }
  return where + ", " + std::to_string(BaudRateFromCode(baudCode)) + " Bd";
}

}  // namespace dqcli
