// The wire floor of an exchange: the time its request and reply frames take
// on the bus at a rate, 10 bits a byte, with nothing else (no module
// turnaround, no driver overhead). No exchange can be faster.
#pragma once

#include <cstdint>

namespace dqcommission {

constexpr int kRequestFrameBytes = 13;
constexpr int kReplyFrameOverhead = 9;  // reply frame bytes besides its data

// Milliseconds; 0 for rate 0.
double ExchangeFloorMs(uint32_t rate, int replyDataBytes);

}  // namespace dqcommission
