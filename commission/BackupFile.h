// The configuration backup file: a UTF-8 text of "key = value" lines that a
// person can read and edit, with a format version, the module's
// identification, the link it was read over and the date, and the whole
// configuration with its channels by name (docs/backup-format.md).
#pragma once

#include <string>

#include "Dekl.h"

namespace dqcommission {

constexpr int kBackupFormatVersion = 1;

struct ConfigBackup {
  std::string typeName;  // UTF-8, as ModuleTypeText gives it
  std::string version;   // UTF-8
  std::string readOver;  // the link, for the reader only
  std::string date;      // for the reader only
  TModuleSetup setup{};
};

// The type name or version a module sent (Windows-1250, possibly padded with
// zero bytes or blanks) as the text a backup holds.
std::string ModuleTypeText(const std::string& cp1250);

std::string FormatBackup(const ConfigBackup& backup);

struct BackupError {
  int line = 0;  // 1-based; the line after the last for a missing key
  std::string message;
};

// False with the first error found; backup is then unspecified.
bool ParseBackup(const std::string& text, ConfigBackup& backup, BackupError& error);

}  // namespace dqcommission
