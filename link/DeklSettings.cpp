// The settings file W_dq7184.ini beside the executable.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <utility>

#include "Dekl.h"
#include "FileErrors.h"
#include "IniDocument.h"
#include "core/AtomicFile.h"
#include "core/ProgramFolder.h"

namespace {

// The settings-file section of the interface whose InitParams are `params`.
std::string SectionOf(dqabi::InitParams params) {
  return dqabi::kLibraries[dqabi::LibraryIndexOfParams(params)].settingsName;
}

// Section and key names, converted once from their source text.
struct SettingsNames {
  std::string connection = Cp1250FromUtf8("Připojení");
  std::string interfaceKey = Cp1250FromUtf8("Rozhraní");
  std::string addressKey = Cp1250FromUtf8("Adresa");
  std::string rateKey = Cp1250FromUtf8("Rychlost");
  // Each interface's own parameters live in the section of its name.
  std::string comSection = SectionOf(dqabi::InitParams::kComPort);
  std::string portKey = Cp1250FromUtf8("Číslo portu");
  std::string isaSection = SectionOf(dqabi::InitParams::kIsaBase);
  std::string baseKey = Cp1250FromUtf8("Bázová adresa");
  std::string lanSection = SectionOf(dqabi::InitParams::kLanBlock);
  std::string ipKey = "IP adresa";
  std::string udpPortKey = "UDP port";
  std::string udpTimeoutKey = "UDP timeout";
};

const SettingsNames& Names() {
  static const SettingsNames names;
  return names;
}

// Marks a missing interface key; the same text in the file counts as missing.
const char* const kNoInterface = "jkl";

// Integer of the file by the integer text rule, as a 32-bit pattern; the
// fallback when the key is missing or holds no integer.
uint32_t IntegerOf(const IniDocument::Query& key, uint32_t fallback) {
  int32_t value = 0;
  if (!key.found || !TryParseInteger(key.value, value)) return fallback;
  return static_cast<uint32_t>(value);
}

// 32-bit fields are written as signed decimals: the integer text rule reads
// no decimal above 2147483647, and so every bit pattern reads back.
void WriteInteger(IniDocument& ini, const std::string& section, const std::string& key, uint32_t value) {
  ini.WriteString(section, key, std::to_string(static_cast<int32_t>(value)));
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

}  // namespace

ESettingsWriteError::ESettingsWriteError(const std::string& fileName, const std::string& reason)
    : std::runtime_error("Unable to write to " + fileName + " (" + reason + ")"),
      fileName_(fileName),
      reason_(reason) {}

const char* const kSettingsFileName = "W_dq7184.ini";

std::string SettingsFilePath() {
  const std::string folder = dqcore::ProgramFolder();
  return folder.empty() ? kSettingsFileName : folder + "/" + kSettingsFileName;
}

bool ReadSettings(TConnectionConfig* config) { return ReadSettings(config, SettingsFilePath()); }

bool ReadSettings(TConnectionConfig* config, const std::string& path) {
  if (config == nullptr) return false;
  // A file that is missing or cannot be read reads as empty.
  std::string bytes;
  dqcore::ReadFileBytes(path, bytes);
  return ReadSettingsFrom(config, std::move(bytes));
}

bool ReadSettingsFrom(TConnectionConfig* config, std::string bytes) {
  if (config == nullptr) return false;
  const IniDocument ini(std::move(bytes));
  const SettingsNames& n = Names();
  // Every key in one walk over the file.
  enum { kInterface, kAddress, kRate, kBase, kPort, kIp, kUdpPort, kUdpTimeout, kKeyCount };
  IniDocument::Query keys[kKeyCount] = {
      {n.connection, n.interfaceKey}, {n.connection, n.addressKey}, {n.connection, n.rateKey},
      {n.isaSection, n.baseKey},      {n.comSection, n.portKey},    {n.lanSection, n.ipKey},
      {n.lanSection, n.udpPortKey},   {n.lanSection, n.udpTimeoutKey}};
  ini.FindAll(keys, kKeyCount);

  const std::string& interfaceName = keys[kInterface].value;
  if (!keys[kInterface].found || interfaceName == kNoInterface) return false;

  config->ModuleAddress = static_cast<uint8_t>(IntegerOf(keys[kAddress], config->ModuleAddress));
  config->BaudRate = IntegerOf(keys[kRate], config->BaudRate);
  config->IsaBaseAddress = static_cast<uint16_t>(IntegerOf(keys[kBase], config->IsaBaseAddress));
  config->ComPort = static_cast<uint8_t>(IntegerOf(keys[kPort], config->ComPort));
  if (keys[kIp].found) config->IpAddress = keys[kIp].value;
  config->UdpPort = IntegerOf(keys[kUdpPort], config->UdpPort);
  config->UdpTimeout = IntegerOf(keys[kUdpTimeout], config->UdpTimeout);

  // Interface names are compared exactly, letter case included.
  for (int type = 0; type < kInterfaceTypeCount; ++type) {
    if (interfaceName == dqabi::kLibraries[type].settingsName) {
      config->InterfaceType = static_cast<TInterfaceType>(type);
      break;
    }
  }
  return true;
}

bool WriteSettings(TConnectionConfig* config) { return WriteSettings(config, SettingsFilePath()); }

bool WriteSettings(TConnectionConfig* config, const std::string& path) {
  if (config == nullptr) return false;
  std::string bytes;
  const int readError = dqcore::ReadFileBytes(path, bytes);
  // The file is updated key by key: one that exists but cannot be read would
  // lose everything else it holds.
  if (readError != 0 && readError != ENOENT) {
    std::string reason;
    if (readError == EISDIR) {
      reason = "pod tímto názvem je složka";
    } else if (readError == EINVAL) {  // a FIFO, a device, a socket
      reason = "soubor nelze přečíst: není to obyčejný soubor";
    } else {
      reason = "soubor nelze přečíst: " + ErrorCauseText(readError);
    }
    throw ESettingsWriteError(AbsolutePath(path), reason);
  }
  bytes = UpdatedSettings(*config, std::move(bytes));
  const dqcore::SaveResult saved = dqcore::ReplaceFileAtomically(path, bytes);
  if (!saved.Ok()) throw ESettingsWriteError(AbsolutePath(path), SaveFailureText(saved));
  return true;
}

std::string UpdatedSettings(const TConnectionConfig& config, std::string bytes) {
  IniDocument ini(std::move(bytes));
  const SettingsNames& n = Names();

  // Every unknown code is written as the COM port.
  const TInterfaceType type = config.InterfaceType < kInterfaceTypeCount ? config.InterfaceType : TInterfaceType{itComPort};
  const dqabi::Library& row = dqabi::kLibraries[type];
  ini.WriteString(n.connection, n.interfaceKey, row.settingsName);
  switch (row.params) {
    case dqabi::InitParams::kComPort:
      WriteInteger(ini, n.comSection, n.portKey, config.ComPort);
      break;
    case dqabi::InitParams::kIsaBase:
      WriteInteger(ini, n.isaSection, n.baseKey, config.IsaBaseAddress);
      break;
    case dqabi::InitParams::kLanBlock:
      // A CR, LF or NUL in the address would break the line; the text is
      // written up to the first of them.
      ini.WriteString(n.lanSection, n.ipKey, config.IpAddress);
      WriteInteger(ini, n.lanSection, n.udpPortKey, config.UdpPort);
      WriteInteger(ini, n.lanSection, n.udpTimeoutKey, config.UdpTimeout);
      break;
    case dqabi::InitParams::kNone:
      break;
  }
  WriteInteger(ini, n.connection, n.addressKey, config.ModuleAddress);
  WriteInteger(ini, n.connection, n.rateKey, config.BaudRate);

  return ini.TakeBytes();
}
