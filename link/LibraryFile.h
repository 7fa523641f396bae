// Checks a driver library file before the loader maps it. The loader maps
// the segments its program headers name; a segment that reaches past the
// end of a cut file maps pages with nothing behind them, and the first
// touch of one kills the process with SIGBUS instead of failing the load.
#pragma once

#include <string>

// Whether the file is an ELF shared object of this machine's class, byte
// order and type whose program header table, section header table and every
// segment and section with content lie inside the file as it is now.
bool LibraryFileIsWhole(const std::string& path);
