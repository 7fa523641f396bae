// The C ABI of the five interface driver libraries on a 64-bit platform,
// shared by the libraries (whose entry points are checked against it at
// compile time) and the driver access layer (which binds through it).
// Integers are int32_t, results int32_t with 0 = success; words that carry
// an address (the LAN library's Init block) are pointer-sized.
#pragma once

#include <cstdint>
#include <string_view>

namespace dqabi {

constexpr int kRequestWords = 8;
constexpr int kReplyWords = 100;
constexpr int kErrorTextWords = 100;
constexpr int kInitParamWords = 16;

// The last SetConfig argument: the libraries take it as the number of
// retries of an exchange; the access layer always passes this value.
constexpr int32_t kSetConfigRetries = 2;

using VersionFn = int32_t (*)();
using InitPortFn = int32_t (*)(int32_t* handle, int32_t portOrBase);      // TCOM847, TPCI847
using InitPlainFn = int32_t (*)(int32_t* handle);                        // TPCI2847, TUSB2847
using InitBlockFn = int32_t (*)(int32_t* handle, const intptr_t* block);  // TDQ2847
using SetConfigFn = int32_t (*)(int32_t handle, int32_t baudRate, int32_t timing, int32_t retries);
using GetConfigFn = int32_t (*)(int32_t handle, int32_t* baudRate, int32_t* timing, int32_t* retries);
using SendFn = int32_t (*)(int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
                           int32_t* status);
using DoneFn = int32_t (*)(int32_t* handle);
using ErrorFn = int32_t (*)(int32_t code, uint32_t* textBuffer);

// The seven entry points, in the order they are looked up; the exported
// name is the library prefix followed by the suffix.
enum EntryPoint { kVersion, kInit, kSetConfig, kGetConfig, kSend, kDone, kError, kEntryPointCount };
constexpr const char* kEntryPointSuffixes[kEntryPointCount] = {"_Version", "_Init", "_SetConfig", "_GetConfig",
                                                               "_Send",    "_Done", "_Error"};

// The optional eighth entry point, PREFIX_Trace: the frame trace. Only a
// program that asks for a trace looks it up; the seven above are all that
// loading a library needs. Trace(handle, callback, context) makes the link
// of handle report every frame it sends and receives to callback; a null
// callback ends the trace. After Trace(handle, nullptr, ...) or Done
// returns, the callback is not called again for that link. The callback
// runs on the thread of the Send that moves the frame; bytes are valid only
// during the call. timeMicros is CLOCK_MONOTONIC in microseconds.
constexpr int32_t kTraceReceived = 1;  // flag: from the module's side (else sent by the PC)
constexpr int32_t kTraceDatagram = 2;  // flag: a whole UDP datagram, 8-byte header and frame
using TraceCallback = void (*)(void* context, int32_t flags, int64_t timeMicros, const uint8_t* bytes,
                               int32_t size);
using TraceFn = int32_t (*)(int32_t handle, TraceCallback callback, void* context);
constexpr const char* kTraceSuffix = "_Trace";

// Argument form of a library's Init.
enum class InitForm { kPortOrBase, kPlain, kBlock };

template <InitForm>
struct InitFnOf;
template <>
struct InitFnOf<InitForm::kPortOrBase> {
  using type = InitPortFn;
};
template <>
struct InitFnOf<InitForm::kPlain> {
  using type = InitPlainFn;
};
template <>
struct InitFnOf<InitForm::kBlock> {
  using type = InitBlockFn;
};
template <InitForm form>
using InitFn = typename InitFnOf<form>::type;

// What the connection record hands the library's Init in its InitParams
// words, every other word 0.
enum class InitParams {
  kComPort,   // word 0: the COM port number
  kIsaBase,   // word 0: the ISA card's base address
  kNone,      // nothing
  kLanBlock,  // words 0-2: address of the zero-terminated IP text, UDP port, UDP timeout
};

// One interface: its driver library, what its Init is handed, and its names.
// The settings file names the chosen interface by settingsName, and the
// interface's own parameters (if any) live in the section of that name.
struct Library {
  const char* fileName;
  const char* prefix;
  InitForm init;
  InitParams params;
  const char* settingsName;
  const char* keyword;  // the interface's word on a command line
  const char* title;    // the interface in the companion program's English texts
};

// The interfaces by type 0-4, the one list of them: the build names its
// libraries in cmake/Interfaces.cmake, the connection window its controls
// in forms/InterfaceFields.cpp.
constexpr int kLibraryCount = 5;
constexpr Library kLibraries[kLibraryCount] = {
    // file name, prefix, Init form, InitParams, settings name, keyword, title
    {"TCOM847.DLL", "TCOM847", InitForm::kPortOrBase, InitParams::kComPort, "COMx", "com", "COM port"},
    {"TPCI847.DLL", "TPCI847", InitForm::kPortOrBase, InitParams::kIsaBase, "PCI-847", "isa", "ISA card PCI-847"},
    {"TPCI2847.DLL", "TPCI2847", InitForm::kPlain, InitParams::kNone, "PCI-2847", "pci", "PCI card PCI-2847"},
    {"TUSB2847.DLL", "TUSB2847", InitForm::kPlain, InitParams::kNone, "USB-2847", "usb",
     "USB converter USB-2847"},
    {"TDQ2847.DLL", "TDQ2847", InitForm::kBlock, InitParams::kLanBlock, "DQ-2847", "lan", "LAN converter DQ-2847"},
};

// The library of a prefix; kLibraryCount for a prefix not in the table
// (which then has no InitForm, so a library built under it fails to compile).
constexpr int LibraryIndexOf(std::string_view prefix) {
  for (int i = 0; i < kLibraryCount; ++i) {
    if (prefix == kLibraries[i].prefix) return i;
  }
  return kLibraryCount;
}

// The library of a command-line keyword; kLibraryCount for another word.
constexpr int LibraryIndexOfKeyword(std::string_view keyword) {
  for (int i = 0; i < kLibraryCount; ++i) {
    if (keyword == kLibraries[i].keyword) return i;
  }
  return kLibraryCount;
}

constexpr InitForm InitFormOf(std::string_view prefix) { return kLibraries[LibraryIndexOf(prefix)].init; }

// The first library whose InitParams are `params` (the interface whose
// settings-file section holds those parameters); kLibraryCount for none.
constexpr int LibraryIndexOfParams(InitParams params) {
  for (int i = 0; i < kLibraryCount; ++i) {
    if (kLibraries[i].params == params) return i;
  }
  return kLibraryCount;
}

}  // namespace dqabi
