// Settings file reader and updater on any file content: no crash, and after
// one read-write-read cycle the persisted fields are stable (what was written
// reads back the same).
//
// The cycle runs on the content in memory (ReadSettingsFrom and
// UpdatedSettings, what ReadSettings and WriteSettings do between the file
// and its bytes), which is where the content matters. Every
// kFileCycleEvery-th input also goes through a real file, in a folder made
// once per process (and removed when it ends), and must leave the same
// bytes: file reads and saves are a dozen system calls that would otherwise
// be most of an input's time.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "Dekl.h"
#include "FuzzDefaults.h"
#include "core/AtomicFile.h"

namespace {

// A settings file of the program is some 200 bytes; 1 KB leaves room for
// sections and lines of others.
constexpr size_t kMaxInput = 1024;
constexpr unsigned kFileCycleEvery = 64;

const std::string& FilePath() {
  static const std::string path = [] {
    // tmpfs when there is one: every save syncs, which a disk makes slow.
    char shm[] = "/dev/shm/dq_fuzz_settings_XXXXXX";
    char tmp[] = "/tmp/dq_fuzz_settings_XXXXXX";
    char* dir = mkdtemp(shm);
    if (dir == nullptr) dir = mkdtemp(tmp);
    if (dir == nullptr) abort();
    static std::string folder = dir;
    std::atexit([] {
      unlink((folder + "/W_dq7184.ini").c_str());
      rmdir(folder.c_str());
    });
    return folder + "/W_dq7184.ini";
  }();
  return path;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) abort();
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) abort();
  close(fd);
}

bool SamePersisted(const TConnectionConfig& a, const TConnectionConfig& b) {
  return a.InterfaceType == b.InterfaceType && a.ModuleAddress == b.ModuleAddress && a.BaudRate == b.BaudRate &&
         a.IsaBaseAddress == b.IsaBaseAddress && a.ComPort == b.ComPort && a.IpAddress == b.IpAddress &&
         a.UdpPort == b.UdpPort && a.UdpTimeout == b.UdpTimeout;
}

// The settings in memory: the content as the file would hold it.
struct InMemory {
  std::string content;
  bool Read(TConnectionConfig* config) const { return ReadSettingsFrom(config, content); }
  void Write(const TConnectionConfig& config) { content = UpdatedSettings(config, std::move(content)); }
};

// The settings in the file.
struct InFile {
  const std::string& path;
  bool Read(TConnectionConfig* config) const { return ReadSettings(config, path); }
  void Write(TConnectionConfig config) const {
    try {
      WriteSettings(&config, path);
    } catch (const ESettingsWriteError&) {
      abort();  // the folder is writable: a write must not fail
    }
  }
};

// Read, write, read, write, read.
template <class Settings>
void CheckCycle(Settings& settings) {
  TConnectionConfig first;
  SetConnectionDefaults(&first);
  const bool named = settings.Read(&first);
  settings.Write(first);
  TConnectionConfig second;
  SetConnectionDefaults(&second);
  if (!settings.Read(&second)) abort();  // a written file always names an interface
  if (named) {
    // What was read and written reads back the same, but for the IP text,
    // which reaches the file cut before a line break or NUL.
    TConnectionConfig expected = first;
    if (expected.InterfaceType > 4) expected.InterfaceType = 0;
    if (expected.InterfaceType == 4) {
      expected.IpAddress = expected.IpAddress.substr(0, expected.IpAddress.find_first_of(std::string("\r\n\0", 3)));
    } else {
      expected.IpAddress = second.IpAddress;  // its section was not written
    }
    if (!SamePersisted(expected, second)) abort();
  }
  // A second cycle changes nothing.
  settings.Write(second);
  TConnectionConfig third;
  SetConnectionDefaults(&third);
  if (!settings.Read(&third) || !SamePersisted(second, third)) abort();
}

}  // namespace

DQ_FUZZ_DEFAULT_MAX_LEN(kMaxInput)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static InMemory memory;
  memory.content.assign(reinterpret_cast<const char*>(data), size);
  CheckCycle(memory);

  static unsigned inputs = 0;
  if (++inputs % kFileCycleEvery == 0) {
    InFile file{FilePath()};
    WriteFile(file.path, data, size);
    CheckCycle(file);
    std::string saved;
    if (dqcore::ReadFileBytes(file.path, saved) != 0 || saved != memory.content) abort();
  }
  return 0;
}
