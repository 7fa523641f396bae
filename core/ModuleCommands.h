// The module's command catalogue: command and sub-code of every request
// (docs/protocol.md, "Module commands"), the values some of them take, and
// the configuration register numbers. Shared by the windows, the access
// layer, the simulator and the tests, so that none of them spells a number.
#pragma once

#include <cstdint>

namespace dqcmd {

// ---- Commands and their sub-codes ----------------------------------------

// Digital inputs and the counters' run state.
constexpr uint8_t kCmdRead = 0;
constexpr uint8_t kSubInputs = 64;       // reply: DIN0-DIN31 as a bit image
constexpr uint8_t kSubCounterRun = 112;  // reply: four 0xFF while running, four 0 when stopped

// Digital outputs and the counters (sub-code kSubCounterRun starts/stops).
constexpr uint8_t kCmdWrite = 1;
constexpr uint8_t kSubOutputs = 64;        // b4-b7: DOUT0-DOUT31 as a bit image
constexpr uint8_t kSubClearCounters = 113;  // b4-b7: all kCountersClear
constexpr uint8_t kCountersStart = 0xFF;    // b4-b7 of kCmdWrite / kSubCounterRun
constexpr uint8_t kCountersStop = 0x00;
constexpr uint8_t kCountersClear = 0xFF;

// Status register, clock and the recorded power failure.
constexpr uint8_t kCmdReadModule = 100;
constexpr uint8_t kSubStatusRegister = 0;    // reply: bits 0-31 as a bit image
constexpr uint8_t kSubTime = 1;              // seconds, minutes, hours, 0 (also kCmdWriteModule)
constexpr uint8_t kSubDate = 2;              // day, month, year mod 4, 0 (also kCmdWriteModule)
constexpr uint8_t kSubFailureStartTime = 3;
constexpr uint8_t kSubFailureStartDate = 4;
constexpr uint8_t kSubFailureEndTime = 5;
constexpr uint8_t kSubFailureEndDate = 6;

constexpr uint8_t kCmdWriteModule = 101;
constexpr uint8_t kSubClearStatus = 0;  // clears the whole status register
// kSubTime, kSubDate: set the clock

// Configuration registers: b4 = b5 = register, b6 = b7 = value.
constexpr uint8_t kCmdReadRegister = 102;
constexpr uint8_t kCmdWriteRegister = 103;
constexpr uint8_t kSubRegister = 0;
constexpr int kRegisterValueByte = 2;  // reply data byte of the value read

// Identification: the type name in two halves and the firmware version,
// four characters each.
constexpr uint8_t kCmdIdentify = 200;
constexpr uint8_t kSubTypeNameFirst = 0;
constexpr uint8_t kSubTypeNameSecond = 1;
constexpr uint8_t kSubFirmwareVersion = 2;

// Pulse counters, four per request: sub-code s reads CNT 4s ... 4s+3.
constexpr uint8_t kCmdReadCounters = 202;
constexpr uint8_t kCounterGroupCount = 8;
constexpr uint8_t kCountersPerGroup = 4;

// Status register bits with a name; the other bits are unnamed.
constexpr int kStatusFn = 1;     // FN: function fault
constexpr int kStatusPrf = 2;    // PRF: a power failure was recorded at power-up
constexpr int kStatusPwr = 4;    // PWR: the module powered up
constexpr int kStatusRst = 5;    // RST: reset, or a new address/baud code took effect
constexpr int kStatusErr24 = 6;  // ERR24: 24 V supply fault

// ---- Configuration registers ----------------------------------------------

// Pulse numbers of counters 0-3: counter i low byte in 2i, high byte in 2i+1.
constexpr uint8_t kRegPulseBase = 0x00;
constexpr int kPulseCounterCount = 4;
// Digital I/O settings of byte j (channels 8j-8j+7), j = 0-3.
constexpr uint8_t kRegDoutInitialBase = 0x20;
constexpr uint8_t kRegDinNegationBase = 0x21;
constexpr uint8_t kRegDoutNegationBase = 0x22;
constexpr uint8_t kRegIoStride = 3;
constexpr uint8_t kRegIoLast = 0x2B;
constexpr uint8_t kRegBaudCode = 0x3E;  // baud-rate code 0-8, effective at the next start
constexpr uint8_t kRegAddress = 0x3F;   // bus address 0-255, effective at the next start

constexpr uint8_t PulseRegisterLow(int counter) { return static_cast<uint8_t>(kRegPulseBase + 2 * counter); }
constexpr uint8_t PulseRegisterHigh(int counter) { return static_cast<uint8_t>(kRegPulseBase + 2 * counter + 1); }
constexpr uint8_t DoutInitialRegister(int byte) { return static_cast<uint8_t>(kRegDoutInitialBase + kRegIoStride * byte); }
constexpr uint8_t DinNegationRegister(int byte) { return static_cast<uint8_t>(kRegDinNegationBase + kRegIoStride * byte); }
constexpr uint8_t DoutNegationRegister(int byte) { return static_cast<uint8_t>(kRegDoutNegationBase + kRegIoStride * byte); }

}  // namespace dqcmd
