// The control line protocol of the simulator (see docs/simulator.md): one
// command per line, answered by zero or more data lines and a last line
// "ok" or "error: <why>".
#pragma once

#include <string>

namespace dqsim {

class SimControl;

// Runs one command line; close is set when the client asked to end its
// connection ("quit").
std::string RunControlLine(SimControl& sim, const std::string& line, bool& close);

// The list of commands, as "help" prints it.
const std::string& ControlHelpText();

}  // namespace dqsim
