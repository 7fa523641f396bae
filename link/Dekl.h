// Unit Dekl: what every other unit shares -- the connection record, the
// settings file, the text helpers and the baud-rate codes.
//
// Strings in this unit are Windows-1250 bytes, exactly as the record, the
// settings file and the driver buffers hold them. Qt code converts at the
// widget boundary with Utf8FromCp1250 / Cp1250FromUtf8.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "core/Cp1250.h"
#include "core/DriverAbi.h"

// Kind of PC interface: the row of the table of interfaces,
// dqabi::kLibraries, and the item index of the connection window's
// interface list. The names are for the rows the code names itself.
using TInterfaceType = uint8_t;
enum : TInterfaceType {
  itComPort = 0,   // standard COM port
  itPci847 = 1,    // ISA card PCI-847
  itPci2847 = 2,   // PCI card PCI-2847
  itUsb2847 = 3,   // USB converter USB-2847
  itDq2847 = 4,    // LAN converter DQ-2847 (UDP)
};
constexpr int kInterfaceTypeCount = dqabi::kLibraryCount;

// Settings that live in the module's configuration registers, kept for the
// run. Copied whole (22 bytes) in and out of the configuration windows.
#pragma pack(push, 1)
struct TModuleSetup {
  uint8_t Address;              // byte 0, register 0x3F
  uint8_t BaudCode;             // byte 1, register 0x3E
  uint16_t PulseNumber[4];      // bytes 2-9, registers 0-7
  uint8_t DinNegation[4];       // bytes 10-13
  uint8_t DoutNegation[4];      // bytes 14-17
  uint8_t DoutInitialState[4];  // bytes 18-21
};
#pragma pack(pop)
static_assert(sizeof(TModuleSetup) == 22, "TModuleSetup must be exactly 22 bytes");

constexpr int kInitParamCount = 16;

// The one record of the link and its settings; owned by the main window,
// referenced by every dialog.
struct TConnectionConfig {
  TInterfaceType InterfaceType;
  uint8_t ModuleAddress;
  uint32_t BaudRate;
  uint16_t IsaBaseAddress;
  uint8_t ComPort;
  // Words handed to the library's Init; pointer-sized so that word 0 can
  // carry the address of the IP text on a 64-bit platform.
  intptr_t InitParams[kInitParamCount];
  std::string IpAddress;    // Windows-1250
  uint32_t UdpPort;
  uint32_t UdpTimeout;
  std::string StatusText;   // Windows-1250
  int32_t DriverHandle;
  bool Initialized;
  std::string ModuleIdent;  // Windows-1250
  TModuleSetup ModuleSetup;
};

// Default IP address of the LAN converter: loopback, where the simulator
// listens. A real converter's address is typed once and kept in the file.
extern const char* const kDefaultIpAddress;  // "127.0.0.1"

void SetConnectionDefaults(TConnectionConfig* config);
TModuleSetup DefaultModuleSetup();

// ---- Settings file -------------------------------------------------------

// Raised when the settings file cannot be written: the only error the
// system raises. FileName is the full path (native encoding).
class ESettingsWriteError : public std::runtime_error {
 public:
  ESettingsWriteError(const std::string& fileName, const std::string& reason);
  const std::string& FileName() const { return fileName_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string fileName_;
  std::string reason_;
};

extern const char* const kSettingsFileName;  // "W_dq7184.ini"

// Full path of the settings file: the executable's directory joined with
// kSettingsFileName.
std::string SettingsFilePath();

// Overlay the record with the settings file; false for a null record or when
// the file names no interface.
bool ReadSettings(TConnectionConfig* config);
bool ReadSettings(TConnectionConfig* config, const std::string& path);

// Update the record's persisted fields in the settings file key by key,
// saving atomically; false only for a null record. Throws
// ESettingsWriteError when the file cannot be written.
bool WriteSettings(TConnectionConfig* config);
bool WriteSettings(TConnectionConfig* config, const std::string& path);

// What the two do between the file and its bytes: the record overlaid from
// a settings file's content (false as above), and the content updated with
// the record's persisted fields, as WriteSettings saves it.
bool ReadSettingsFrom(TConnectionConfig* config, std::string bytes);
std::string UpdatedSettings(const TConnectionConfig& config, std::string bytes);

// ---- Text helpers --------------------------------------------------------

// Integer text rule for numbers typed by the user: leading blanks, then an
// optional sign and decimal digits (signed 32-bit), or "$", "x", "X", "0x",
// "0X" and hexadecimal digits taken as a 32-bit pattern. Nothing may follow.
bool TryParseInteger(const std::string& text, int32_t& value);

// h:mm:ss with hours clamped to 23, minutes and seconds to 59.
std::string TimeText(uint8_t hours, uint8_t minutes, uint8_t seconds);
// d.m.yyyy; the year is rebuilt from the PC's year and the module's year
// within the four-year cycle.
std::string DateText(uint8_t day, uint8_t month, uint8_t yearInCycle);
// Seam for tests: where DateText takes the PC's current year from. An empty
// function restores the PC's local clock.
void SetCurrentYearSource(std::function<int()> source);

bool ParseWordInRange(const std::string& text, uint16_t low, uint16_t high, uint16_t& value);
uint32_t PackBytes(uint8_t first, uint8_t second, uint8_t third, uint8_t fourth);

// ---- Baud-rate codes 0-8 -------------------------------------------------

constexpr int kBaudCodeCount = 9;
uint32_t BaudRateFromCode(uint8_t code);   // other codes: 9600
uint8_t BaudCodeFromRate(uint32_t rate);   // other rates: 4
uint8_t BaudTiming(uint8_t code);          // other codes: 13

// ---- Windows-1250 codec --------------------------------------------------

// The project's one codec (lossless round trip of all 256 byte values).
using dqcore::Cp1250FromUtf8;
using dqcore::Utf8FromCp1250;
