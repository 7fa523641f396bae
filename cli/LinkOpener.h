// How a command of dq7184 gets its link: the program's common options
// (interface, address, settings file) open it into the record.
#pragma once

#include <functional>
#include <iosfwd>

#include "Dekl.h"

// Opens the link the common options name into `config` (initialised record,
// non-zero handle, ModuleAddress and ModuleIdent set, as OpenLink leaves
// it). Returns 0 when open, otherwise the exit code (2 usage or file
// error, 3 link error) after writing why to `err`. The command closes the
// link with CloseLink when it is done.
using LinkOpener = std::function<int(TConnectionConfig& config, std::ostream& err)>;
