// The command line of dq7184-sim: the simulator's options, or the "ctl"
// client that sends control commands to a running simulator.
#pragma once

#include <string>
#include <vector>

#include "sim/simulator/SimOptions.h"

namespace dqsim {

struct CommandLine {
  enum Mode { kRun, kHelp, kCtl, kError } mode = kRun;
  SimOptions options;
  std::string error;  // kError: what is wrong
  // kCtl
  std::string controlPath;
  std::vector<std::string> command;  // the words of one command; empty: read lines from stdin
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);  // args without the program name
std::string HelpText();

}  // namespace dqsim
