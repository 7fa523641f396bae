#include "PortMap.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "core/ErrorCodes.h"
#include "core/AtomicFile.h"

namespace dqports {

namespace {

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

// Port number of an entry line, or 0 for comments and lines of other forms.
int PortOfLine(const std::string& line, std::string* device) {
  std::string text = Trim(line);
  if (text.size() < 5 || text[0] == '#') return 0;
  if ((text[0] | 0x20) != 'c' || (text[1] | 0x20) != 'o' || (text[2] | 0x20) != 'm') return 0;
  size_t pos = 3;
  long port = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && port <= kMaxPort) {
    port = port * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == 3 || port < kMinPort || port > kMaxPort) return 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  if (pos >= text.size() || text[pos] != '=') return 0;
  std::string value = Trim(text.substr(pos + 1));
  if (value.empty()) return 0;
  if (device != nullptr) *device = value;
  return static_cast<int>(port);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// The map's text; false when the file exists but cannot be read. A missing
// file is an empty map.
bool ReadMap(const std::string& file, std::string& text) {
  const int error = dqcore::ReadFileBytes(file, text);
  return error == 0 || error == ENOENT;
}

bool MakeFolders(const std::string& file) {
  size_t slash = file.find('/', 1);
  while (slash != std::string::npos) {
    std::string folder = file.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
    slash = file.find('/', slash + 1);
  }
  return true;
}

// The lock file serialises writers of different processes; it stays behind.
class FileLock {
 public:
  explicit FileLock(const std::string& file) {
    fd_ = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

std::string MapFilePath() {
  const char* explicitPath = std::getenv("DQ7184_PORTMAP");
  if (explicitPath != nullptr && *explicitPath != '\0') return explicitPath;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && *config != '\0') return std::string(config) + "/dq7184/ports.conf";
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return std::string(home) + "/.config/dq7184/ports.conf";
  return std::string();
}

std::map<int, std::string> Parse(const std::string& text) {
  std::map<int, std::string> entries;
  for (const std::string& line : SplitLines(text)) {
    std::string device;
    int port = PortOfLine(line, &device);
    if (port != 0) entries.emplace(port, device);  // the first line of a port counts
  }
  return entries;
}

std::optional<std::string> LookupIn(const std::string& file, int port) {
  std::string text;
  if (file.empty() || dqcore::ReadFileBytes(file, text) != 0) return std::nullopt;
  auto entries = Parse(text);
  auto found = entries.find(port);
  if (found == entries.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> Lookup(int port) { return LookupIn(MapFilePath(), port); }

int32_t SetEntryIn(const std::string& file, int port, const std::string& device) {
  if (file.empty() || port < kMinPort || port > kMaxPort ||
      device.find_first_of("\r\n") != std::string::npos || Trim(device) != device) {
    return dqerr::kInvalidParameter;
  }
  if (!MakeFolders(file)) return dqerr::kPortMapWrite;
  FileLock lock(file);
  if (!lock.Held()) return dqerr::kPortMapWrite;

  std::string old;
  if (!ReadMap(file, old)) return dqerr::kPortMapWrite;
  std::string updated;
  bool placed = device.empty();
  for (const std::string& line : SplitLines(old)) {
    if (PortOfLine(line, nullptr) == port) {
      if (!placed) updated += "COM" + std::to_string(port) + "=" + device + "\n";
      placed = true;
      continue;
    }
    updated += line + "\n";
  }
  if (!placed) updated += "COM" + std::to_string(port) + "=" + device + "\n";

  if (!dqcore::ReplaceFileAtomically(file, updated).Ok()) return dqerr::kPortMapWrite;
  return dqerr::kOk;
}

int32_t SetEntry(int port, const std::string& device) { return SetEntryIn(MapFilePath(), port, device); }

}  // namespace dqports
