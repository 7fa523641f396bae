// Reading and writing backup files for the commands: the project's file
// reader and atomic writer, and messages that name the file and the line.
#pragma once

#include <string>

#include "BackupFile.h"

namespace dqcli {

// False with "FILE:LINE: message" or "FILE: why it cannot be read".
bool LoadBackup(const std::string& path, dqcommission::ConfigBackup& backup, std::string& error);
// Replaces the file atomically; false with a message.
bool SaveBackup(const std::string& path, const dqcommission::ConfigBackup& backup, std::string& error);

}  // namespace dqcli
