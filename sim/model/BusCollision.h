// What the bus carries when several modules answer one request at once
// (two modules given the same address): their replies overlap. On an
// RS-485 line a driven 0 (space) wins over the idle 1 (mark) here, and no
// two modules start at the same instant: each further one a byte time
// later than the one before. The receiver therefore gets a start byte and
// then a mix of the replies, which fails the CRC (or makes no frame).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dqsim {

// Overlays `other`, sent lagBytes byte times after the start of `line`,
// onto the bytes of `line` (bitwise AND where they overlap; `line` grows
// where `other` runs past its end).
void OverlayCollidingReply(std::vector<uint8_t>& line, const std::vector<uint8_t>& other, size_t lagBytes);

}  // namespace dqsim
