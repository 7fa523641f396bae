#include "sim/model/InputPattern.h"

namespace dqsim {

uint32_t InputPatternAt(uint64_t step) {
  uint32_t byte0 = static_cast<uint32_t>(step & 0xFF);
  uint32_t byte1 = 1u << ((step / 5) % 8);
  uint32_t byte2 = static_cast<uint32_t>((step / 10) & 0xFF);
  uint32_t byte3 = ((step / 20) % 2) ? 0x5Au : 0xA5u;
  return byte0 | (byte1 << 8) | (byte2 << 16) | (byte3 << 24);
}

}  // namespace dqsim
