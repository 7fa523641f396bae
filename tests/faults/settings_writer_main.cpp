// Helper of the settings crash test: saves the settings file over and over,
// the LAN record and the COM record in turn, until it is killed. Prints
// "saving" once the first save is done.
//
// With --saves N it saves N times, then prints "saves N failed F" (and each
// failure's message before it) and exits 0 only when none failed.
//
// With --in-place it rewrites the file's own bytes in place instead
// (truncate, then write), the unsafe way, so that the test can show that it
// would catch a save that is not atomic.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "Dekl.h"
#include "SettingsPair.h"

namespace {

int SaveInPlaceForever(const char* path) {
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  for (unsigned long n = 0;; ++n) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return 1;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (n == 0) {
      std::puts("saving");
      std::fflush(stdout);
    }
  }
}

// Saves n times; every failure is reported, none stops the loop.
int SaveCounted(const char* path, unsigned long n) {
  TConnectionConfig records[2] = {faults::LanSettings(), faults::ComSettings()};
  unsigned long failed = 0;
  for (unsigned long i = 0; i < n; ++i) {
    try {
      WriteSettings(&records[i % 2], path);
    } catch (const ESettingsWriteError& error) {
      ++failed;
      std::printf("failed: %s\n", error.what());
    }
  }
  std::printf("saves %lu failed %lu\n", n, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--in-place") == 0) return SaveInPlaceForever(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "--saves") == 0) return SaveCounted(argv[3], std::strtoul(argv[2], nullptr, 10));
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s [--in-place | --saves N] SETTINGS-FILE\n", argv[0]);
    return 2;
  }
  TConnectionConfig records[2] = {faults::LanSettings(), faults::ComSettings()};
  try {
    for (unsigned long n = 0;; ++n) {
      WriteSettings(&records[n % 2], argv[1]);
      if (n == 0) {
        std::puts("saving");
        std::fflush(stdout);
      }
    }
  } catch (const ESettingsWriteError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
