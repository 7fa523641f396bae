// Whole-file reading and crash-safe replacement of a small text file.
#pragma once

#include <string>

// Reads the whole regular file. Returns 0 on success, otherwise the errno
// value of the failure (ENOENT for a missing file; EISDIR or EINVAL for a
// directory or another kind of non-regular file). bytes is left empty on
// failure.
int ReadFileBytes(const std::string& path, std::string& bytes);

// Replaces the file's content with bytes so that the file holds either the
// old or the new content whatever happens midway: the bytes go to a new
// file in the same folder, are flushed to the disk, and the new file is
// renamed over the old one. A symbolic link is followed and stays a link,
// also one that points to a file not there yet (the file is created where
// it points); an existing file's permissions (and, where allowed, owner)
// carry over to the new one; a file we may not write is not replaced.
// Returns false with a reason when the file cannot be written; the
// temporary file is removed then and the old file is untouched.
//
// The temporary file is named after the file, ".tmp-", the pid and a serial
// number of the saving process. A save killed midway leaves its one behind;
// every successful save removes those of ended processes beside the file,
// never one of a save still under way.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& reason);

// The cause of a failed file operation for the technician's message box, in
// Czech; a cause without a text of its own gives its errno number.
std::string ErrorCauseText(int error);
