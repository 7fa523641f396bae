// A library that carries a real driver library's file name and entry
// points, planted in the current folder by the loading tests. Nothing may
// ever load it: if anything does, its constructor leaves a marker file
// (DQ_PLANTED_MARKER, else PLANTED_LIBRARY_WAS_LOADED in the current folder).
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

__attribute__((constructor)) void LeaveMarker() {
  const char* marker = std::getenv("DQ_PLANTED_MARKER");
  const int fd = open(marker != nullptr ? marker : "PLANTED_LIBRARY_WAS_LOADED", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  const char text[] = "the planted library was loaded\n";
  (void)!write(fd, text, sizeof text - 1);
  close(fd);
}

int32_t PlantedError(uint32_t* buffer) {
  const char text[] = "PLANTED";
  for (int i = 0; i < 100; ++i) buffer[i] = i < 7 ? static_cast<uint8_t>(text[i]) : 0;
  return 0;
}

}  // namespace

// The seven entry points under every prefix, so that a loader would bind
// whichever name it looked for.
#define DQ_PLANTED_ENTRY_POINTS(P)                                                                         \
  extern "C" __attribute__((visibility("default"))) int32_t P##_Version() { return 999; }                  \
  extern "C" __attribute__((visibility("default"))) int32_t P##_Init(int32_t* handle, intptr_t) {         \
    *handle = 4242;                                                                                        \
    return 0;                                                                                              \
  }                                                                                                        \
  extern "C" __attribute__((visibility("default"))) int32_t P##_SetConfig(int32_t, int32_t, int32_t,      \
                                                                          int32_t) {                       \
    return 0;                                                                                              \
  }                                                                                                        \
  extern "C" __attribute__((visibility("default"))) int32_t P##_GetConfig(int32_t, int32_t*, int32_t*,    \
                                                                          int32_t*) {                      \
    return 0;                                                                                              \
  }                                                                                                        \
  extern "C" __attribute__((visibility("default"))) int32_t P##_Send(int32_t, const uint32_t*, uint32_t*, \
                                                                     int32_t*, int32_t*) {                 \
    return 0;                                                                                              \
  }                                                                                                        \
  extern "C" __attribute__((visibility("default"))) int32_t P##_Done(int32_t* handle) {                   \
    *handle = 0;                                                                                           \
    return 0;                                                                                              \
  }                                                                                                        \
  extern "C" __attribute__((visibility("default"))) int32_t P##_Error(int32_t, uint32_t* buffer) {        \
    return PlantedError(buffer);                                                                           \
  }

DQ_PLANTED_ENTRY_POINTS(TCOM847)
DQ_PLANTED_ENTRY_POINTS(TPCI847)
DQ_PLANTED_ENTRY_POINTS(TPCI2847)
DQ_PLANTED_ENTRY_POINTS(TUSB2847)
DQ_PLANTED_ENTRY_POINTS(TDQ2847)
