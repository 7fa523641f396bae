// Child processes of the benchmark (the simulator, the UDP peer server):
// started with their standard output on a pipe, read line by line until
// they say they are ready, ended with SIGTERM.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "core/NonCopyable.h"

namespace xbench {

class Child : dqcore::NonCopyable {
 public:
  Child() = default;
  ~Child() { Stop(); }

  // args[0] is the executable's path. False when it cannot be started.
  bool Start(const std::vector<std::string>& args);
  // The output lines up to and including the first one that begins with
  // `last`; empty on end of output or after timeoutMs.
  std::vector<std::string> ReadUntil(const std::string& last, int timeoutMs = 5000);
  void Stop();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

// The rest of the first line that begins with "key "; empty when none does.
std::string Field(const std::vector<std::string>& lines, const std::string& key);

int64_t MonotonicNs();

}  // namespace xbench
