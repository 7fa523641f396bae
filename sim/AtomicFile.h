// Whole-file reads and crash-safe writes (temporary file, fsync, rename).
#pragma once

#include <string>

namespace dqsim {

// false when the file does not exist or cannot be read (error says which).
bool ReadWholeFile(const std::string& path, std::string& content, std::string* error, bool* missing = nullptr);
// Creates missing parent folders when makeDirs is set.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* error,
                         bool makeDirs = false);

}  // namespace dqsim
