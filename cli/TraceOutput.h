// Where the frame trace of a run goes: one writer for the whole program,
// on standard error or appended to a file, alive until the program ends
// (after every link it traced is closed).
#pragma once

#include <string>

#include "FrameTrace.h"

namespace dqcli {

// The writer for `file` (empty: standard error), opened at the first call;
// null with a message when the file cannot be opened.
dqcommission::TraceWriter* TraceWriterFor(const std::string& file, std::string& error);

}  // namespace dqcli
