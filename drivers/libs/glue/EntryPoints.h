// The entry points that the five driver libraries share. A library's .cpp
// writes its Init and expands DQ_DRIVER_ENTRY_POINTS(PREFIX) for the other
// six and the optional eighth, the frame trace; the expansion checks all
// eight against the ABI at compile time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "HandleTable.h"
#include "SerialLine.h"
#include "Transport.h"
#include "core/DriverAbi.h"

#define DQ_EXPORT extern "C" __attribute__((visibility("default")))

namespace dqglue {

// Version entry point: 100 * major + minor.
constexpr int32_t kDriverVersion = 100;

// The handle table of this library. Each library links its own copy of the
// glue, with nothing of it exported, so each has its own table.
HandleTable& LibraryTable();

// Makes a channel (opening its port or socket) and returns a dqerr code.
using ChannelOpener = std::function<int32_t(std::shared_ptr<Channel>& channel)>;

// The sequence of every Init once its arguments are checked: handle gets
// the new handle, or 0 on failure; a full table refuses before open is
// called, so no port is held in vain. Returns a dqerr code.
int32_t OpenLink(HandleTable& table, int32_t* handle, const ChannelOpener& open);
// Opens the serial device at path and registers it. The link asks `again`
// for the same device to reopen after it vanished.
int32_t OpenSerialLink(HandleTable& table, int32_t* handle, const std::string& path,
                       dqbus::SerialLine::Locator again);

int32_t SetConfig(HandleTable& table, int32_t handle, int32_t baudRate, int32_t timingMs, int32_t retries);
int32_t GetConfig(HandleTable& table, int32_t handle, int32_t* baudRate, int32_t* timingMs, int32_t* retries);
int32_t Send(HandleTable& table, int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
             int32_t* status);
// Starts or (null callback) ends the frame trace of a link.
int32_t Trace(HandleTable& table, int32_t handle, dqabi::TraceCallback callback, void* context);
// Closes the link, ending its trace, and zeroes the caller's handle variable.
int32_t Done(HandleTable& table, int32_t* handle);
int32_t Error(int32_t code, uint32_t* buffer);

}  // namespace dqglue

#define DQ_ABI_CHECK(PREFIX, OP, TYPE)                                                                \
  static_assert(std::is_same_v<decltype(&PREFIX##OP), TYPE>, #PREFIX #OP " does not have the ABI's type")

// The six entry points besides Init, the trace, and the check of all eight. A prefix
// missing from the ABI's library table does not compile.
#define DQ_DRIVER_ENTRY_POINTS(PREFIX)                                                                        \
  DQ_EXPORT int32_t PREFIX##_Version() { return dqglue::kDriverVersion; }                                    \
  DQ_EXPORT int32_t PREFIX##_SetConfig(int32_t handle, int32_t baudRate, int32_t timing, int32_t retries) {   \
    return dqglue::SetConfig(dqglue::LibraryTable(), handle, baudRate, timing, retries);                      \
  }                                                                                                           \
  DQ_EXPORT int32_t PREFIX##_GetConfig(int32_t handle, int32_t* baudRate, int32_t* timing, int32_t* retries) { \
    return dqglue::GetConfig(dqglue::LibraryTable(), handle, baudRate, timing, retries);                      \
  }                                                                                                           \
  DQ_EXPORT int32_t PREFIX##_Send(int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,    \
                                  int32_t* status) {                                                          \
    return dqglue::Send(dqglue::LibraryTable(), handle, request, reply, count, status);                       \
  }                                                                                                           \
  DQ_EXPORT int32_t PREFIX##_Done(int32_t* handle) { return dqglue::Done(dqglue::LibraryTable(), handle); }   \
  DQ_EXPORT int32_t PREFIX##_Error(int32_t code, uint32_t* buffer) { return dqglue::Error(code, buffer); }    \
  DQ_EXPORT int32_t PREFIX##_Trace(int32_t handle, dqabi::TraceCallback callback, void* context) {            \
    return dqglue::Trace(dqglue::LibraryTable(), handle, callback, context);                                  \
  }                                                                                                           \
  DQ_ABI_CHECK(PREFIX, _Version, dqabi::VersionFn);                                                           \
  DQ_ABI_CHECK(PREFIX, _Init, dqabi::InitFn<dqabi::InitFormOf(#PREFIX)>);                                     \
  DQ_ABI_CHECK(PREFIX, _SetConfig, dqabi::SetConfigFn);                                                       \
  DQ_ABI_CHECK(PREFIX, _GetConfig, dqabi::GetConfigFn);                                                       \
  DQ_ABI_CHECK(PREFIX, _Send, dqabi::SendFn);                                                                 \
  DQ_ABI_CHECK(PREFIX, _Done, dqabi::DoneFn);                                                                 \
  DQ_ABI_CHECK(PREFIX, _Error, dqabi::ErrorFn);                                                               \
  DQ_ABI_CHECK(PREFIX, _Trace, dqabi::TraceFn)
