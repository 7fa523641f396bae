// The driver libraries' texts for the codes the fault tests provoke, as
// docs/protocol.md section 8 lists them (UTF-8), and the windows' own
// texts around them.
#pragma once

#include <QString>
#include <ostream>

namespace faults {

// The library text of a code; an empty string for a code not listed here.
QString LibraryText(int code);

// "Chyba inicializace připojení - " of the connection window.
QString InitFailedText(int code);
// The connection window's text after a successful identification.
QString ConnectedText();

}  // namespace faults

// Test failures show QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
