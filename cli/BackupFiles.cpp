#include "BackupFiles.h"

#include <cstring>

#include "core/AtomicFile.h"

namespace dqcli {

bool LoadBackup(const std::string& path, dqcommission::ConfigBackup& backup, std::string& error) {
  std::string bytes;
  int code = dqcore::ReadFileBytes(path, bytes);
  if (code != 0) {
    error = path + ": cannot be read: " + std::strerror(code);
    return false;
  }
  dqcommission::BackupError parseError;
  if (!dqcommission::ParseBackup(bytes, backup, parseError)) {
    error = path + ":" + std::to_string(parseError.line) + ": " + parseError.message;
    return false;
  }
  return true;
}

bool SaveBackup(const std::string& path, const dqcommission::ConfigBackup& backup, std::string& error) {
  dqcore::SaveResult result = dqcore::ReplaceFileAtomically(path, dqcommission::FormatBackup(backup));
  if (result.Ok()) return true;
  error = (result.target.empty() ? path : result.target) + ": cannot be written: " + std::strerror(result.error);
  return false;
}

}  // namespace dqcli
