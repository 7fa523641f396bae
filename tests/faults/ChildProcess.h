// A child process started by a test: its standard output read line by
// line, signals sent to it, and always reaped.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "core/NonCopyable.h"

namespace faults {

class ChildProcess : dqcore::NonCopyable {
 public:
  // Kills (SIGKILL) and reaps a child still running.
  ~ChildProcess();

  // Starts argv[0] with the arguments; its standard output comes to this
  // process, its standard error is dropped. False when it cannot start.
  bool Start(const std::vector<std::string>& argv);
  // The next line of its standard output, without the line end; false at
  // the end of the output or when none came within timeoutMs.
  bool ReadLine(std::string& line, int timeoutMs);
  void Signal(int signal);
  // Waits for the child to end; returns the raw wait status (-1 when none runs).
  int Reap();
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffered_;
};

}  // namespace faults
