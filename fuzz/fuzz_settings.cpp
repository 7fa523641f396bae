// Settings file reader and updater on any file content: no crash, and after
// one read-write-read cycle the persisted fields are stable (what was written
// reads back the same). The file lives in a folder made once per process;
// each input is written over it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "Dekl.h"
#include "FuzzDefaults.h"

namespace {

// A settings file of the program is some 200 bytes; 1 KB leaves room for
// sections and lines of others. Every key read goes through the whole file,
// so longer inputs cost more than they find.
constexpr size_t kMaxInput = 1024;

const std::string& FilePath() {
  static const std::string path = [] {
    // tmpfs when there is one: every save syncs, which a disk makes slow.
    char shm[] = "/dev/shm/dq_fuzz_settings_XXXXXX";
    char tmp[] = "/tmp/dq_fuzz_settings_XXXXXX";
    char* dir = mkdtemp(shm);
    if (dir == nullptr) dir = mkdtemp(tmp);
    if (dir == nullptr) abort();
    return std::string(dir) + "/W_dq7184.ini";
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

}  // namespace

DQ_FUZZ_DEFAULT_MAX_LEN(kMaxInput)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = FilePath();
  WriteFile(path, data, size);

  TConnectionConfig first;
  SetConnectionDefaults(&first);
  bool named = ReadSettings(&first, path);
  try {
    WriteSettings(&first, path);
    TConnectionConfig second;
    SetConnectionDefaults(&second);
    if (!ReadSettings(&second, path)) abort();  // a written file always names an interface
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
    WriteSettings(&second, path);
    TConnectionConfig third;
    SetConnectionDefaults(&third);
    if (!ReadSettings(&third, path) || !SamePersisted(second, third)) abort();
  } catch (const ESettingsWriteError&) {
    abort();  // the folder is writable: a write must not fail
  }
  return 0;
}
