// The client side of the control socket: sends command lines to a running
// simulator and prints the answers.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace dqsim {

// Sends one line and returns the answer (data lines and the final "ok" or
// "error: ..." line). False, with error set, when the simulator cannot be
// reached or does not answer within timeoutMs.
bool SendControlLine(const std::string& socketPath, const std::string& line, std::string& answer,
                     std::string& error, int timeoutMs = 5000);

// "dq7184-sim ctl": one command from words, or one per line from in when
// words is empty. Data lines go to out, errors to err. Returns the exit
// status: 0 when every command answered ok.
int RunCtl(const std::string& socketPath, const std::vector<std::string>& words, std::istream& in,
           std::ostream& out, std::ostream& err);

}  // namespace dqsim
