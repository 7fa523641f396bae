// Czech texts of the library codes 0-99, as Windows-1250 bytes.
#pragma once

#include <cstdint>
#include <string>

namespace dqerr {

// Text of a code 0-99; any other code gets the text of an unknown code.
const std::string& Text(int32_t code);

// Writes the text of a code into a buffer of dqabi::kErrorTextWords words, one
// character per word from word 0, the rest of the words zero. At most 99
// characters are written, so word 99 is always 0.
void FillTextBuffer(int32_t code, uint32_t* buffer);

}  // namespace dqerr
