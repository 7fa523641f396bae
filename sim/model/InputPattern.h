// The moving input pattern that makes an idle simulated module look alive:
// one step every 100 ms after power-up.
//   DIN0-DIN7    binary count of steps (DIN0 toggles every step)
//   DIN8-DIN15   a walking one, moving every 500 ms
//   DIN16-DIN23  binary count of seconds
//   DIN24-DIN31  0xA5 and 0x5A alternating every 2 s
#pragma once

#include <cstdint>

namespace dqsim {

constexpr int64_t kPatternStepMicros = 100000;

uint32_t InputPatternAt(uint64_t step);

}  // namespace dqsim
