// Czech wording of failed file operations for the technician's message box.
#pragma once

#include <string>

#include "core/AtomicFile.h"

// The cause of a failed file operation; a cause without a text of its own
// gives its errno number.
std::string ErrorCauseText(int error);

// Why a replacement of the settings file failed: the step and its cause.
std::string SaveFailureText(const dqcore::SaveResult& result);
