// UTF-8 to Windows-1250 for the libraries' own literals. The texts handed
// out through the Error entry point are single-byte Windows-1250.
#pragma once

#include <string>

namespace dqtext {

// Characters without a Windows-1250 byte, and broken UTF-8 sequences, become '?'.
std::string Utf8ToCp1250(const std::string& utf8);

}  // namespace dqtext
