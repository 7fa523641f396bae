// The entry points that the five driver libraries share. Each library
// keeps its own handle table, writes its Init and expands
// DQ_DRIVER_COMMON_ENTRY_POINTS for the other six.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "HandleTable.h"
#include "SerialLine.h"
#include "Transport.h"

#define DQ_EXPORT extern "C" __attribute__((visibility("default")))

namespace dqglue {

// Version entry point: 100 * major + minor.
constexpr int32_t kDriverVersion = 100;

// Registers an open transport under a new handle. handle gets the handle,
// or 0 on failure. Returns a dqerr code.
int32_t AddLink(HandleTable& table, int32_t* handle, std::unique_ptr<dqbus::Transport> transport);
// Opens the serial device at path, found by search, and registers it. The
// link makes the search again to reopen its device after it vanished.
int32_t OpenSerialLink(HandleTable& table, int32_t* handle, const std::string& path,
                       dqbus::SerialLine::Locator search);

int32_t SetConfig(HandleTable& table, int32_t handle, int32_t baudRate, int32_t timingMs, int32_t retries);
int32_t GetConfig(HandleTable& table, int32_t handle, int32_t* baudRate, int32_t* timingMs, int32_t* retries);
int32_t Send(HandleTable& table, int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
             int32_t* status);
// Closes the link and zeroes the caller's handle variable.
int32_t Done(HandleTable& table, int32_t* handle);
int32_t Error(int32_t code, uint32_t* buffer);

}  // namespace dqglue

#define DQ_DRIVER_COMMON_ENTRY_POINTS(PREFIX, TABLE)                                                          \
  DQ_EXPORT int32_t PREFIX##_Version() { return dqglue::kDriverVersion; }                                    \
  DQ_EXPORT int32_t PREFIX##_SetConfig(int32_t handle, int32_t baudRate, int32_t timing, int32_t retries) {   \
    return dqglue::SetConfig(TABLE, handle, baudRate, timing, retries);                                       \
  }                                                                                                           \
  DQ_EXPORT int32_t PREFIX##_GetConfig(int32_t handle, int32_t* baudRate, int32_t* timing, int32_t* retries) { \
    return dqglue::GetConfig(TABLE, handle, baudRate, timing, retries);                                       \
  }                                                                                                           \
  DQ_EXPORT int32_t PREFIX##_Send(int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,    \
                                  int32_t* status) {                                                          \
    return dqglue::Send(TABLE, handle, request, reply, count, status);                                        \
  }                                                                                                           \
  DQ_EXPORT int32_t PREFIX##_Done(int32_t* handle) { return dqglue::Done(TABLE, handle); }                    \
  DQ_EXPORT int32_t PREFIX##_Error(int32_t code, uint32_t* buffer) { return dqglue::Error(code, buffer); }
