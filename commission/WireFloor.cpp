#include "WireFloor.h"

namespace dqcommission {

double ExchangeFloorMs(uint32_t rate, int replyDataBytes) {
  if (rate == 0) return 0.0;
  const int bytes = kRequestFrameBytes + kReplyFrameOverhead + replyDataBytes;
  return bytes * 10 * 1000.0 / rate;
}

}  // namespace dqcommission
