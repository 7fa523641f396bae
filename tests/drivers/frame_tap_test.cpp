// The frame trace of a link: what each transport hands the tap, and the
// pieces the tap reports, cut as the frame format delimits them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Clock.h"
#include "FrameTap.h"
#include "Frames.h"

namespace {

using dqtest::Bytes;
using Piece = std::pair<int32_t, std::vector<uint8_t>>;  // flags, bytes

constexpr int32_t kIn = dqabi::kTraceReceived;

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::vector<uint8_t> kReply = dqtest::ReplyFrame(1, 0, 0, {0x05, 0x00, 0x80, 0xFF}, 0x1234);
const std::vector<uint8_t> kRequest = dqtest::RequestFrame(dqtest::Req(1, 0, 64, {}, 0x1234));

std::vector<uint8_t> BadCrc(std::vector<uint8_t> frame) {
  frame.back() ^= 0xFF;
  return frame;
}

struct Row {
  const char* name;
  bool datagrams;
  std::vector<std::vector<uint8_t>> reads;  // what each read of the transport gave
  bool thenSend;                            // a request goes out after the reads
  std::vector<Piece> pieces;
};

void Collect(void* context, int32_t flags, int64_t, const uint8_t* bytes, int32_t size) {
  static_cast<std::vector<Piece>*>(context)->emplace_back(flags, std::vector<uint8_t>(bytes, bytes + size));
}

TEST(FrameTap, ReportsWhatTheReceiverDelimits) {
  const std::vector<uint8_t> head(kReply.begin(), kReply.begin() + 5);
  const std::vector<uint8_t> tail(kReply.begin() + 5, kReply.end());
  const auto oversized = Bytes({0xA6, 0x01, 0x00, 0x01, 0x00, 0x00, 0x41});
  const std::vector<Row> rows = {
      {"a frame over two reads", false, {head, tail}, false, {{kIn, kReply}}},
      {"noise before a frame", false, {Join({Bytes({0x00, 0x11}), kReply})}, false,
       {{kIn, Bytes({0x00, 0x11})}, {kIn, kReply}}},
      {"a bad CRC, then a frame", false, {Join({BadCrc(kReply), kReply})}, false,
       {{kIn, BadCrc(kReply)}, {kIn, kReply}}},
      {"a false start hiding a frame", false, {Join({Bytes({0xA6}), kReply})}, false,
       {{kIn, Bytes({0xA6})}, {kIn, kReply}}},
      {"a header announcing too much", false, {Join({oversized, Bytes({0x01, 0x02})})}, false,
       {{kIn, oversized}, {kIn, Bytes({0x01, 0x02})}}},
      {"an unfinished frame before the next request", false, {head}, true, {{kIn, head}, {0, kRequest}}},
      {"a datagram as it came", true, {Join({kReply, kReply})}, true,
       {{kIn | dqabi::kTraceDatagram, Join({kReply, kReply})}, {dqabi::kTraceDatagram, kRequest}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<Piece> pieces;
    dqbus::FrameTap tap(dqbus::SteadyClock(), row.datagrams);
    tap.Set(&Collect, &pieces);
    for (const auto& read : row.reads) tap.Received(read.data(), read.size());
    if (row.thenSend) tap.Sent(kRequest.data(), kRequest.size());
    EXPECT_EQ(pieces, row.pieces);
  }
}

TEST(FrameTap, EndingTheTraceReportsTheUnfinishedFrame) {
  std::vector<Piece> pieces;
  dqbus::FrameTap tap(dqbus::SteadyClock(), false);
  tap.Set(&Collect, &pieces);
  tap.Received(kReply.data(), 4);
  tap.Set(nullptr, nullptr);
  EXPECT_FALSE(tap.On());
  EXPECT_EQ(pieces, (std::vector<Piece>{{kIn, std::vector<uint8_t>(kReply.begin(), kReply.begin() + 4)}}));
}

}  // namespace
