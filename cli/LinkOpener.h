// How a command gets its link. The program parses the connection options
// (interface, port or address, module address, rate) once for every
// command; the opener opens the link with them and identifies the module.
// It returns 0 with the record open (Initialized, DriverHandle,
// ModuleAddress and BaudRate set), or the exit code of its failure, which
// it has already reported. A command closes the link when it ends.
#pragma once

#include <functional>

#include "Dekl.h"

using LinkOpener = std::function<int(TConnectionConfig& config)>;
