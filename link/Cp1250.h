// Windows-1250 letters without regard to case: section and key names of the
// settings file are Czech and are matched the way the Windows profile
// functions match them ("PŘIPOJENÍ" finds "Připojení").
#pragma once

#include <string_view>

// Lower-case form of a Windows-1250 byte; bytes that are no upper-case
// letter come back unchanged.
unsigned char Cp1250ToLower(unsigned char byte);

bool Cp1250EqualNoCase(std::string_view a, std::string_view b);
