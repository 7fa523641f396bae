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
// renamed over the old one. A symbolic link is followed and stays a link;
// an existing file's permissions (and, where allowed, owner) carry over to
// the new one; a file we may not write is not replaced. Returns false with a
// reason when the file cannot be written; the temporary file is removed then
// and the old file is untouched.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, std::string& reason);

// The cause of a failed file operation for the technician's message box:
// the usual ones in Czech, rarer ones as the system words them.
std::string ErrorCauseText(int error);
