// A scratch folder of a test or benchmark.
#pragma once

#include <string>

namespace dqtest {

// A fresh folder under $TMPDIR (or /tmp), removed with its content at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file (folders created as needed).
  void Write(const std::string& name, const std::string& text) const;
  void Symlink(const std::string& target, const std::string& name) const;
  void MakeDir(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace dqtest
