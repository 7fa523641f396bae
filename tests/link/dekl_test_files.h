// Files for the settings tests: a fresh folder under /tmp per test, and
// whole-file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Dekl.h"

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/dekl_test_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made != nullptr) path_ = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWhole(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Windows-1250 bytes of a UTF-8 source text.
inline std::string W(const std::string& utf8) { return Cp1250FromUtf8(utf8); }

inline TConnectionConfig DefaultConfig() {
  TConnectionConfig config;
  SetConnectionDefaults(&config);
  return config;
}
