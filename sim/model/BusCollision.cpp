#include "sim/model/BusCollision.h"

namespace dqsim {

void OverlayCollidingReply(std::vector<uint8_t>& line, const std::vector<uint8_t>& other, size_t lagBytes) {
  if (line.size() < lagBytes + other.size()) line.resize(lagBytes + other.size(), 0xFF);  // idle line: all marks
  for (size_t i = 0; i < other.size(); ++i) line[lagBytes + i] &= other[i];
}

}  // namespace dqsim
