// Opening the link to the module: the InitParams words of an interface, the
// library's Init and SetConfig, the identification of the module and the
// record it leaves behind. The connection window runs this once it has
// taken the interface and its parameters from its controls; test rigs and
// benchmarks open their links the same way.
#pragma once

#include <cstdint>
#include <string>

#include "Dekl.h"

// Sets all sixteen InitParams words to 0.
void ClearInitParams(TConnectionConfig& config);

// InitParams for the record's InterfaceType, as its row of the table of
// interfaces (dqabi::InitParams) says, every other word 0: the COM port number, the ISA base address, nothing for the PCI card and the USB
// converter, or for the LAN converter the address of the record's
// zero-terminated IpAddress (the library copies it during Init; the record
// keeps it alive), UdpPort and UdpTimeout. The COM library may be handed a
// port number wider than the record's 8-bit ComPort (the low 16 bits of
// what the user typed); the first form takes ComPort.
void PackInitParams(TConnectionConfig& config);
void PackInitParams(TConnectionConfig& config, uint16_t comPort);

// Closes the record's link when it is initialised with a non-zero handle:
// Done with the record's InterfaceType, the handle copied back, Initialized
// false. Anything else is left alone.
void CloseLink(TConnectionConfig& config);

// Where an opening ended.
enum class TLinkStage : uint8_t {
  Init,       // loading or Init failed; the record is not initialised
  SetConfig,  // SetConfig failed; the new link was closed again
  Identify,   // an identification exchange failed; the new link was closed again
  Open,       // success
};

struct TLinkOutcome {
  TLinkStage Stage = TLinkStage::Init;
  int32_t Code = 0;  // the failed result or status; 0 when open
  std::string Text;  // the library's text for Code (Windows-1250), 0 included
  bool Opened() const { return Stage == TLinkStage::Open; }
};

// Init with the record's InterfaceType and InitParams, then SetConfig with
// the rate and timing of baudCode. The text of each result is fetched even
// for 0. On success the record holds the new handle and is initialised; a
// failed SetConfig closes the new link.
TLinkOutcome StartLink(TConnectionConfig& config, uint8_t baudCode);

// The module's identification: the type name (eight characters, the first
// two identification replies) and the firmware version (four characters),
// Windows-1250 bytes as they arrived, a zero byte included.
struct TModuleIdentity {
  std::string TypeName;
  std::string Version;
};

// The three identification exchanges with `address` over the open link
// (each reply's count byte travels on as b3 of the next request). Stage
// Identify with the failed status, or Open; the link stays as it is.
TLinkOutcome IdentifyModule(const TConnectionConfig& config, uint8_t address, TModuleIdentity& identity);

// The whole opening: StartLink, then the three identification exchanges
// with `address` (each reply's count byte travels on as b3 of the next
// request). On success ModuleIdent is the type name and " v." and the
// version, ModuleAddress is `address`, BaudRate the rate of baudCode and
// StatusText "V pořádku"; after a failure ModuleIdent, ModuleAddress,
// BaudRate and StatusText are as they were.
TLinkOutcome OpenLink(TConnectionConfig& config, uint8_t address, uint8_t baudCode);
// The identification part of OpenLink, on a link that StartLink opened (a
// program that traces the link's frames switches the trace on between the
// two).
TLinkOutcome IdentifyLink(TConnectionConfig& config, uint8_t address, uint8_t baudCode);
