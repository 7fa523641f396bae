#include "TempDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace dqtest {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/dqtest.XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::MakeDir(const std::string& name) const {
  std::string full = File(name);
  for (size_t slash = full.find('/', path_.size() + 1);; slash = full.find('/', slash + 1)) {
    mkdir(full.substr(0, slash).c_str(), 0755);
    if (slash == std::string::npos) break;
  }
}

void TempDir::Write(const std::string& name, const std::string& text) const {
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) MakeDir(name.substr(0, slash));
  WriteFile(File(name), text);
}

void TempDir::Symlink(const std::string& target, const std::string& name) const {
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) MakeDir(name.substr(0, slash));
  if (symlink(target.c_str(), File(name).c_str()) != 0) throw std::runtime_error("symlink " + name);
}

}  // namespace dqtest
