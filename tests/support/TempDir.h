// A scratch folder of a test or benchmark, and whole files read and written.
#pragma once

#include <string>

#include "core/NonCopyable.h"

namespace dqtest {

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces a file's content.
void WriteFile(const std::string& path, const std::string& content);

// A fresh folder under $TMPDIR (or /tmp), removed with its content at the end.
class TempDir : dqcore::NonCopyable {
 public:
  TempDir();
  ~TempDir();
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
