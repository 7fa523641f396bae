// What the five scripted libraries call in dqtestdriver: one hook per entry
// point, with the library prefix, so the shared state records the call and
// answers it. Not for tests; they use ScriptedDriver.h.
#pragma once

#include <cstdint>

namespace testdriver::hooks {

int32_t OnVersion(const char* prefix);
// portOrBase is null for the libraries whose Init takes none; block is null
// except for the LAN library.
int32_t OnInit(const char* prefix, int32_t* handle, const int32_t* portOrBase, const intptr_t* block);
int32_t OnSetConfig(const char* prefix, int32_t handle, int32_t baudRate, int32_t timing, int32_t retries);
int32_t OnGetConfig(const char* prefix, int32_t handle, int32_t* baudRate, int32_t* timing, int32_t* retries);
int32_t OnSend(const char* prefix, int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
               int32_t* status);
int32_t OnDone(const char* prefix, int32_t* handle);
int32_t OnError(const char* prefix, int32_t code, uint32_t* textBuffer);

}  // namespace testdriver::hooks
