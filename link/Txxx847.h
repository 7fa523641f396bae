// Unit Txxx847: the only code that touches an interface driver library. It
// loads the library of an interface type by its file name from the folder
// of the running program, binds its seven entry points, passes calls
// through, turns codes into texts, and carries every exchange with the
// module (ModuleExchange). The optional eighth, the frame trace, is looked
// up only when a program asks for it (DriverSetTrace).
#pragma once

#include <cstdint>
#include <string>

#include "Dekl.h"
#include "core/DriverAbi.h"

struct TExchangeRequest {
  uint32_t Words[dqabi::kRequestWords];  // address, command, sub-code, b3..b7; one byte each
};
struct TExchangeReply {
  uint32_t Words[dqabi::kReplyWords];  // one reply data byte in the low 8 bits of each word
};
struct TErrorTextBuffer {
  uint32_t Words[dqabi::kErrorTextWords];  // one Windows-1250 character per word
};

// Result codes of this layer; the libraries' own codes 0-99 pass through.
enum : int32_t {
  kDriverOk = 0,
  kDriverNotBound = 10,        // type outside 0-4, or entry point not bound
  kDriverLoadFailed = 100,     // + interface type
  kDriverBadLibrary = 110,     // + interface type
  kDriverNoTrace = 120,        // + interface type: the bound library has no Trace entry point
};

// Library file names and entry-point prefixes, by interface type.
const char* DriverLibraryName(TInterfaceType type);  // "TCOM847.DLL", ...; nullptr outside 0-4
const char* DriverPrefix(TInterfaceType type);       // "TCOM847", ...; nullptr outside 0-4

int32_t DriverInit(TInterfaceType type, int32_t& handle, const intptr_t (&initParams)[kInitParamCount]);
int32_t DriverSetConfig(TInterfaceType type, int32_t handle, int32_t baudRate, int32_t timing, int32_t last);
int32_t DriverSend(TInterfaceType type, int32_t handle, const TExchangeRequest& request,
                   TExchangeReply& reply, int32_t& count, int32_t& status);
int32_t DriverDone(TInterfaceType type, int32_t& handle);
int32_t DriverErrorText(TInterfaceType type, int32_t code, TErrorTextBuffer& buffer);

// The frame trace, for a program that asks for one (W_DQ7184 never does):
// looks up the bound library's optional eighth entry point now, and calls
// it with the handle, the callback (null ends the trace) and its context.
// Returns kDriverNotBound (type outside 0-4 or no library of that type
// bound), kDriverNoTrace + type (the library has no Trace), or the
// library's result (0, or 16 for an unknown handle). DriverDone ends a
// trace too. Codes 120-124 have no text of DriverErrorText; the program
// says itself that the library cannot trace.
int32_t DriverSetTrace(TInterfaceType type, int32_t handle, dqabi::TraceCallback callback, void* context);

std::string ErrorTextFromBuffer(const TErrorTextBuffer& buffer);
int32_t ErrorTextToBuffer(const std::string& text, TErrorTextBuffer& buffer);

// One exchange with the module. b3..b7 carry the parameter bytes in and, on
// status 0, the reply bytes out (b3 = count, b4..b7 = reply words 0..3).
void ModuleExchange(TInterfaceType type, int32_t handle, uint8_t address, uint8_t command,
                    uint8_t subcode, uint8_t& b3, uint8_t& b4, uint8_t& b5, uint8_t& b6,
                    uint8_t& b7, uint8_t& status, TExchangeReply& reply);

// Convenience for windows: the text for a status or code as a string
// (DriverErrorText + ErrorTextFromBuffer); empty when no text was given.
std::string DriverErrorString(TInterfaceType type, int32_t code);

// True while a library is loaded and bound (for tests and diagnostics).
bool DriverIsBound();
