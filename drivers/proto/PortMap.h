// User-level map from COM port numbers to serial device paths, so that any
// device (a USB adapter, a pseudo-terminal of the simulator) can serve as
// COMn without root rights.
//
// The map is a text file: $DQ7184_PORTMAP when that variable is set and not
// empty, else ${XDG_CONFIG_HOME:-$HOME/.config}/dq7184/ports.conf. Lines
// "COM5=/dev/ttyUSB0" (key case-insensitive, blanks around '=' allowed),
// '#' starts a comment line, other lines are ignored and kept. Of two lines
// for one port the first counts. A missing file is an empty map.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace dqports {

constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;

// Empty when neither DQ7184_PORTMAP, XDG_CONFIG_HOME nor HOME is set.
std::string MapFilePath();

std::map<int, std::string> Parse(const std::string& text);

std::optional<std::string> LookupIn(const std::string& file, int port);
std::optional<std::string> Lookup(int port);

// Adds or replaces the entry of a port (device not empty) or removes it
// (device empty). The file and its folder are created when missing; the
// update is atomic (lock file, temporary file, rename), other lines stay
// byte for byte. Returns a dqerr code: 0, kInvalidParameter (port outside
// 1-65535, a device path with a line break, no map path) or kPortMapWrite.
int32_t SetEntryIn(const std::string& file, int port, const std::string& device);
int32_t SetEntry(int port, const std::string& device);
inline int32_t RemoveEntry(int port) { return SetEntry(port, std::string()); }

}  // namespace dqports
