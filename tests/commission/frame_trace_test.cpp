// The text line of a traced frame: what each kind of frame, whole or
// broken, reads as.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FrameTrace.h"
#include "core/DriverAbi.h"

namespace {

constexpr int32_t kIn = dqabi::kTraceReceived;
constexpr int32_t kUdp = dqabi::kTraceDatagram;

TEST(FrameTraceLine, ShowsTimeDirectionBytesAndWhatTheyAre) {
  struct Row {
    int32_t flags;
    std::vector<uint8_t> bytes;
    std::string decoded;  // behind the hex
  };
  const std::vector<Row> rows = {
      {0, {0x5B, 0xFF, 0x00, 0x01, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9F, 0x32},
       "request tx 0x00FF addr 1 cmd 200 sub 0 b3-b7 00 00 00 00 00, CRC good"},
      {kIn, {0xA6, 0xFF, 0x00, 0x01, 0xC8, 0x00, 0x04, 0x44, 0x51, 0x37, 0x31, 0xC4, 0x98},
       "reply tx 0x00FF addr 1 cmd 200 status 0 count 4, CRC good"},
      {kIn, {0xA6, 0x00, 0x80, 0x01, 0x37, 0x01, 0x00, 0x6D, 0x77},
       "reply tx 0x8000 addr 1 cmd 55 status 1 count 0, CRC bad"},
      {kIn, {0xA6, 0xFF, 0x00, 0x01, 0xC8, 0x00, 0x04, 0x44}, "reply tx 0x00FF addr 1 cmd 200 status 0 count 4, "
                                                              "8 of 13 bytes"},
      {kIn, {0xA6, 0x01, 0x00, 0x01, 0x00, 0x00, 0x41}, "reply tx 0x0001 addr 1 cmd 0 status 0 count 65 (more than 64)"},
      {kIn, {0xA6, 0x01}, "reply begun, 2 bytes"},
      {kIn, {0x00, 0x5A}, "noise, 2 bytes"},
      {kUdp, {0x44, 0x51, 0x02, 0x01, 0x34, 0x12, 0x08, 0x00, 0x5B, 0x34, 0x12, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00,
              0x00, 0x00, 0x78, 0x47},
       "udp seq 0x1234 baud 8: request tx 0x1234 addr 1 cmd 0 sub 64 b3-b7 00 00 00 00 00, CRC good"},
      {kIn | kUdp, {0x44, 0x51, 0x02, 0x81, 0x02, 0x00, 0x04, 0x00, 0xA6, 0x02, 0x00, 0x01, 0x67, 0x00, 0x00, 0x6C,
                    0xCB, 0x00},
       "udp seq 0x0002 baud 4: reply tx 0x0002 addr 1 cmd 103 status 0 count 0, 1 bytes too many"},
      {kIn | kUdp, {0x44, 0x51, 0x02, 0x01, 0x02, 0x00, 0x04, 0x00}, "udp seq 0x0002 baud 4 kind 0x01: no frame"},
      {kIn | kUdp, {0x44, 0x51, 0x01, 0x81}, "no datagram of version 2, 4 bytes"},
  };
  for (const Row& row : rows) {
    std::string hex;
    for (uint8_t byte : row.bytes) hex += (hex.empty() ? "" : " ") + std::string(1, "0123456789ABCDEF"[byte >> 4]) +
                                          "0123456789ABCDEF"[byte & 15];
    const dqcommission::TracedFrame frame{row.flags, 7001000250, row.bytes.data(), row.bytes.size()};
    EXPECT_EQ(dqcommission::FormatTracedFrame(frame, 7000000000),
              std::string("1.000250 ") + (row.flags & kIn ? "<- " : "-> ") + hex + " | " + row.decoded);
  }
}

}  // namespace
