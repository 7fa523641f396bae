// Reading, whole or in part, and crash-safe replacement of a small file. Results
// are errno values; each caller words its own message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dqcore {

// Reads exactly size bytes at offset of an open file, resuming after a
// signal; false at the end of the file or on error.
bool ReadExactlyAt(int fd, uint64_t offset, void* into, size_t size);

// Reads the whole regular file. Returns 0 on success, otherwise the errno
// value of the failure (ENOENT for a missing file; EISDIR or EINVAL for a
// directory or another kind of non-regular file). Never waits: a FIFO is
// opened without blocking and refused. bytes is left empty on failure.
int ReadFileBytes(const std::string& path, std::string& bytes);

// The step of a replacement that failed.
enum class SaveStep {
  kNone,             // success
  kResolveLink,      // a symbolic link in the chain cannot be read
  kTargetIsFolder,   // a folder has the file's name
  kLinkTargetFolder, // the folder a link points into is missing or no folder
  kWriteProtected,   // the existing file may not be written
  kCreateTemporary,
  kWrite,
  kSync,
  kClose,
  kRename,
};

struct SaveResult {
  SaveStep step = SaveStep::kNone;
  int error = 0;       // errno value of the failed step
  std::string target;  // the file that is (or was to be) replaced
  bool Ok() const { return step == SaveStep::kNone; }
};

// Whether ReplaceFileAtomically could replace (or create) the file now:
// 0, or the errno value that would stop it (ENOENT or ENOTDIR for a
// missing folder, EISDIR for a folder of that name, EACCES for a folder or
// file we may not write). For a command that works for a long time before
// it saves, so that it refuses a bad path before it starts.
int CheckReplaceable(const std::string& path);

// Replaces the file's content with bytes so that the file holds either the
// old or the new content whatever happens midway: the bytes go to a new
// file in the same folder, are flushed to the disk, and the new file is
// renamed over the old one. A symbolic link is followed and stays a link,
// also one that points to a file not there yet (the file is created where
// it points); an existing file's permissions (and, where allowed, owner)
// carry over to the new one; a file we may not write is not replaced.
// On failure the temporary file is removed and the old file is untouched.
//
// The temporary file is named after the file, ".tmp-", the pid and a serial
// number of the saving process. A save killed midway leaves its one behind;
// every successful save removes those of ended processes beside the file,
// never one of a save still under way: a save holds a lock on its temporary
// file from before it has its name until it is renamed, and a locked file
// is kept, also by a program in another pid namespace, where the pid in the
// name means nothing. A close that fails after the rename is reported,
// though the new content is then in place.
SaveResult ReplaceFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace dqcore
