// What the trace says about bytes a link read: the link's tap cuts them as
// the receiver delimits them, and each piece's line names what it is, a
// broken frame included (the identification test sees only whole ones).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FrameTap.h"
#include "FrameTrace.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Keeps the decoded part of each line.
void Collect(void* context, int32_t flags, int64_t time, const uint8_t* bytes, int32_t size) {
  const std::string line = dqcommission::FormatTracedFrame({flags, time, bytes, static_cast<size_t>(size)}, 0);
  static_cast<std::vector<std::string>*>(context)->push_back(line.substr(line.find(" | ") + 3));
}

TEST(FrameTrace, CutsAndNamesWhatALinkRead) {
  const Bytes reply = {0xA6, 0x34, 0x12, 0x01, 0x00, 0x00, 0x04, 0x05, 0x00, 0x80, 0xFF, 0x9E, 0xA4};
  const Bytes request = {0x5B, 0x34, 0x12, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x78, 0x47};
  const Bytes head(reply.begin(), reply.begin() + 9), tail(reply.begin() + 9, reply.end());
  Bytes badCrc = reply;
  badCrc.back() ^= 0xFF;
  const Bytes udpReply = {0x44, 0x51, 0x02, 0x81, 0x34, 0x12, 0x08, 0x00};
  const std::string good = "reply tx 0x1234 addr 1 cmd 0 status 0 count 4, CRC good";
  struct Row {
    bool datagrams;
    std::vector<Bytes> reads;
    bool thenRequest;
    std::vector<std::string> lines;
  };
  const std::vector<Row> rows = {
      {false, {head, tail}, false, {good}},
      {false, {Join({0x00, 0x11}, reply)}, false, {"noise, 2 bytes", good}},
      {false, {Join(badCrc, reply)}, false, {"reply tx 0x1234 addr 1 cmd 0 status 0 count 4, CRC bad", good}},
      {false, {Join({0xA6}, reply)}, false, {"reply begun, 1 bytes", good}},
      {false, {{0xA6, 0x01, 0x00, 0x01, 0x00, 0x00, 0x41, 0x01}}, false,
       {"reply tx 0x0001 addr 1 cmd 0 status 0 count 65 (more than 64)", "noise, 1 bytes"}},
      {false, {head}, true,
       {"reply tx 0x1234 addr 1 cmd 0 status 0 count 4, 9 of 13 bytes",
        "request tx 0x1234 addr 1 cmd 0 sub 64 b3-b7 00 00 00 00 00, CRC good"}},
      {true, {Join(Join(udpReply, reply), {0x00})}, false,
       {"udp seq 0x1234 baud 8: reply tx 0x1234 addr 1 cmd 0 status 0 count 4, 1 bytes too many"}},
      {true, {{0x44, 0x51, 0x01, 0x81}}, false, {"no datagram of version 2, 4 bytes"}},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    std::vector<std::string> lines;
    dqbus::FrameTap tap(dqbus::SteadyClock(), row.datagrams);
    tap.Set(&Collect, &lines);
    for (const Bytes& read : row.reads) tap.Received(read.data(), read.size());
    if (row.thenRequest) tap.Sent(request.data(), request.size());
    EXPECT_EQ(lines, row.lines) << "row " << i;
  }
}

}  // namespace
