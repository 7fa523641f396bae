// Settings file reader and updater on any file content: no crash, and after
// one read-write-read cycle the persisted fields are stable (what was written
// reads back the same).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Dekl.h"

namespace {

const std::string& FilePath() {
  static const std::string path = [] {
    char dir[] = "/tmp/dq_fuzz_settings_XXXXXX";
    if (mkdtemp(dir) == nullptr) abort();
    return std::string(dir) + "/W_dq7184.ini";
  }();
  return path;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
}

bool SamePersisted(const TConnectionConfig& a, const TConnectionConfig& b) {
  return a.InterfaceType == b.InterfaceType && a.ModuleAddress == b.ModuleAddress && a.BaudRate == b.BaudRate &&
         a.IsaBaseAddress == b.IsaBaseAddress && a.ComPort == b.ComPort && a.IpAddress == b.IpAddress &&
         a.UdpPort == b.UdpPort && a.UdpTimeout == b.UdpTimeout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = FilePath();
  WriteFile(path, data, size);

  TConnectionConfig first;
  SetConnectionDefaults(&first);
  ReadSettings(&first, path);
  try {
    WriteSettings(&first, path);
  } catch (const ESettingsWriteError&) {
    abort();  // the folder is writable: a write must not fail
  }
  TConnectionConfig second;
  SetConnectionDefaults(&second);
  if (!ReadSettings(&second, path)) abort();  // a written file always names an interface

  TConnectionConfig expected = first;
  if (expected.InterfaceType > 4) expected.InterfaceType = 0;
  // The IP text reaches the file cut before any line break or NUL, and
  // reading drops blanks at its ends.
  std::string ip = expected.IpAddress.substr(0, expected.IpAddress.find_first_of(std::string("\r\n\0", 3)));
  expected.IpAddress = ip;
  if (expected.InterfaceType != 4) expected.IpAddress = second.IpAddress;  // section not written
  if (!SamePersisted(expected, second)) {
    if (expected.InterfaceType == 4 && expected.IpAddress != second.IpAddress) {
      // Blanks or quotes at the ends of an IP text read from a file are
      // normalised by the reader; compare the normalised forms.
      TConnectionConfig third;
      SetConnectionDefaults(&third);
      WriteSettings(&second, path);
      ReadSettings(&third, path);
      if (!SamePersisted(second, third)) abort();
      return 0;
    }
    abort();
  }
  return 0;
}
