// Result and status codes 0-99 of the five driver libraries. Every failure
// mode has its own code; docs/protocol.md lists them with their texts.
#pragma once

#include <cstdint>

#include "core/Protocol.h"

namespace dqerr {

enum Code : int32_t {
  kOk = 0,

  // Exchange with the module
  kTimeout = 1,          // no reply in time
  kCrc = 2,              // reply with a bad CRC
  kForeignAddress = 3,   // valid reply from another bus address
  kMalformed = 4,        // bytes arrived, but no frame could be made of them
  kTruncated = 5,        // a reply started but did not arrive in full
  kEchoMismatch = 6,     // valid reply from the module for another command
  kReplyTooLong = 7,     // reply longer than the protocol allows

  // Ports and devices
  kPortOpen = 8,         // port cannot be opened (other reasons)
  kPortBusy = 9,         // port held by another program
  kPortVanished = 10,    // port disappeared while open
  kWrite = 11,           // write to the port failed
  kRead = 12,            // read from the port failed
  kPortMissing = 13,     // device file of the port does not exist
  kPortAccess = 14,      // no permission to open the port
  kPortSetup = 15,       // port cannot be set up (not a serial line?)

  // Calls
  kInvalidHandle = 16,
  kInvalidParameter = 17,
  kInvalidIp = 18,
  kBaudRate = 19,        // not one of the nine baud rates
  kTooManyHandles = 20,

  // LAN converter
  kSocket = 21,          // socket cannot be created or used
  kConnRefused = 22,     // ICMP port unreachable: nothing listens at IP:port
  kNetUnreachable = 23,  // no route to the converter

  // Cards and converters
  kNoIsaCard = 24,
  kNoPciCard = 25,
  kNoUsbConverter = 26,

  kPortMapWrite = 27,    // the port map cannot be written
  // The module that answers after the link found its device again is not
  // the one identified on the link before; stays until a new Init.
  kForeignModule = 28,

  // Module statuses: a reply with status s (1..58) gives kModuleStatusBase + s.
  kModuleStatusBase = 40,
  kModuleUnknownCommand = kModuleStatusBase + dqbus::msUnknownCommand,  // 41
  kModuleBadSubcode = kModuleStatusBase + dqbus::msBadSubcode,          // 42
  kModuleBadRegister = kModuleStatusBase + dqbus::msBadRegister,        // 43
  kModuleBadValue = kModuleStatusBase + dqbus::msBadValue,              // 44
  kModuleBusy = kModuleStatusBase + dqbus::msBusy,                      // 45
  kModuleFailed = kModuleStatusBase + dqbus::msFailed,                  // 46
  kModuleStatusOther = 99,  // module status 59..255

  kLastCode = 99,
};

// Library code for a module status byte (0 stays 0).
constexpr int32_t FromModuleStatus(uint8_t status) {
  if (status == 0) return kOk;
  if (status <= kModuleStatusOther - kModuleStatusBase - 1) return kModuleStatusBase + status;
  return kModuleStatusOther;
}

// True for a module's own answer with a status (a valid reply); the codes
// below kModuleStatusBase are the link's.
constexpr bool IsModuleStatus(int32_t code) { return code > kModuleStatusBase && code <= kModuleStatusOther; }

// True for the failures after which another attempt of the same exchange
// may succeed (nothing valid arrived); false for port and socket faults.
// AttemptPolicy (EndOf) decides by it whether an exchange goes on.
constexpr bool IsRetryable(int32_t code) {
  return code >= kTimeout && code <= kReplyTooLong;
}

}  // namespace dqerr
