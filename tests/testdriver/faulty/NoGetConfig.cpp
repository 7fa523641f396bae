// A COM-port library that lacks only its GetConfig entry point: the layer
// must refuse it and unload it.
#include <cstdint>

extern "C" {
int32_t TCOM847_Version() { return 0x0100; }
int32_t TCOM847_Init(int32_t* handle, int32_t) {
  *handle = 1;
  return 0;
}
int32_t TCOM847_SetConfig(int32_t, int32_t, int32_t, int32_t) { return 0; }
int32_t TCOM847_Send(int32_t, const uint32_t*, uint32_t*, int32_t*, int32_t*) { return 0; }
int32_t TCOM847_Done(int32_t* handle) {
  *handle = 0;
  return 0;
}
int32_t TCOM847_Error(int32_t, uint32_t* textBuffer) {
  textBuffer[0] = 0;
  return 0;
}
}
