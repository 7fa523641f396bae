// Where the running program lives: the settings file and the driver
// libraries are kept beside it.
#pragma once

#include <string>

namespace dqcore {

// The folder of the running program (from /proc/self/exe), without the
// final slash (the root is "/"); empty when it cannot be told.
std::string ProgramFolder();

}  // namespace dqcore
