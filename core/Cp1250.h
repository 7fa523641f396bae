// The one Windows-1250 codec: the settings file, the record's texts, the
// driver libraries' error texts and the windows all convert through it.
#pragma once

#include <string>
#include <string_view>

namespace dqcore {

// Windows-1250 bytes to UTF-8. The five bytes the code page leaves undefined
// stand for the C1 control of the same value.
std::string Utf8FromCp1250(const std::string& bytes);

// UTF-8 to Windows-1250. A character without a byte becomes '?', and so does
// each maximal ill-formed part of a sequence (stray continuation byte,
// invalid lead byte, truncated, overlong, surrogate, beyond U+10FFFF).
std::string Cp1250FromUtf8(const std::string& utf8);

// Letters without regard to case: section and key names of the settings
// file are Czech and are matched the way the Windows profile functions
// match them ("PŘIPOJENÍ" finds "Připojení").
//
// Lower-case form of a Windows-1250 byte; bytes that are no upper-case
// letter come back unchanged.
unsigned char Cp1250ToLower(unsigned char byte);

bool Cp1250EqualNoCase(std::string_view a, std::string_view b);

}  // namespace dqcore
