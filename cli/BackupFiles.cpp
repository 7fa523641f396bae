#include "BackupFiles.h"

#include <cstring>

#include "core/AtomicFile.h"

namespace dqcli {

bool LoadBackup(const std::string& path, dqcomm::ConfigBackup& backup, std::string& error) {
  std::string bytes;
  int code = dqcore::ReadFileBytes(path, bytes);
  if (code != 0) {
    error = path + ": cannot be read: " + std::strerror(code);
    return false;
  }
  dqcomm::BackupError parseError;
  if (!dqcomm::ParseBackup(bytes, backup, parseError)) {
    error = path + ":" + std::to_string(parseError.line) + ": " + parseError.message;
    return false;
  }
  return true;
}

bool SaveBackup(const std::string& path, const dqcomm::ConfigBackup& backup, std::string& error) {
  dqcore::SaveResult result = dqcore::ReplaceFileAtomically(path, dqcomm::FormatBackup(backup));
  if (result.Ok()) return true;
  error = (result.target.empty() ? path : result.target) + ": cannot be written: " + std::strerror(result.error);
  return false;
}

}  // namespace dqcli
