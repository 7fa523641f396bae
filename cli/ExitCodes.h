// The exit codes of dq7184, in one place (also listed in its --help).
#pragma once

namespace dqcli {

enum ExitCode : int {
  kExitOk = 0,         // done, and the module matches
  kExitDiffers = 1,    // the module differs, or a check failed
  kExitUsage = 2,      // bad command line, or a file that cannot be read or written
  kExitLink = 3,       // the link could not be opened, or a module did not answer
};

constexpr const char* kExitCodesHelp =
    "Exit codes: 0 done and matching; 1 the module differs or a check failed;\n"
    "2 usage or file error; 3 link error.";

// The worse of two results: a link error outweighs a difference.
constexpr int WorseExit(int a, int b) { return a > b ? a : b; }

}  // namespace dqcli
