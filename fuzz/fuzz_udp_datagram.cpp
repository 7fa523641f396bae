// LAN carriage: any datagram is either refused or yields a frame that lies
// inside it.
#include <cstdint>
#include <cstdlib>

#include "Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dqbus::UdpHeader header;
  const uint8_t* frame = nullptr;
  size_t frameSize = 0;
  if (dqbus::DecodeUdp(data, size, header, frame, frameSize)) {
    if (frame < data || frame + frameSize > data + size) abort();
    (void)dqbus::DecodeReply(frame, frameSize);
    (void)dqbus::DecodeRequest(frame, frameSize);
    auto again = dqbus::EncodeUdp(header, frame, frameSize);
    if (again.size() != size) abort();
  }
  return 0;
}
