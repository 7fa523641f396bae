// The frame trace of a link: the pieces the tap reports for what the
// transport read, cut as the frame format delimits them.
#include <gtest/gtest.h>

#include <vector>

#include "FrameTap.h"
#include "Frames.h"

namespace {

using dqtest::Bytes;
using Piece = std::pair<int32_t, std::vector<uint8_t>>;  // flags, bytes
constexpr int32_t kIn = dqabi::kTraceReceived;

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void Collect(void* context, int32_t flags, int64_t, const uint8_t* bytes, int32_t size) {
  static_cast<std::vector<Piece>*>(context)->emplace_back(flags, std::vector<uint8_t>(bytes, bytes + size));
}

TEST(FrameTap, ReportsWhatTheReceiverDelimits) {
  const auto reply = dqtest::ReplyFrame(1, 0, 0, {0x05, 0x00, 0x80, 0xFF}, 0x1234);
  const auto request = dqtest::RequestFrame(dqtest::Req(1, 0, 64, {}, 0x1234));
  const std::vector<uint8_t> head(reply.begin(), reply.begin() + 5), tail(reply.begin() + 5, reply.end());
  auto badCrc = reply;
  badCrc.back() ^= 0xFF;
  const auto oversized = Bytes({0xA6, 0x01, 0x00, 0x01, 0x00, 0x00, 0x41});
  enum After { kNothing, kSend, kEnd };
  struct Row {
    const char* name;
    bool datagrams;
    std::vector<std::vector<uint8_t>> reads;
    After after;
    std::vector<Piece> pieces;
  };
  const std::vector<Row> rows = {
      {"a frame over two reads", false, {head, tail}, kNothing, {{kIn, reply}}},
      {"noise, then a frame", false, {Join(Bytes({0x00, 0x11}), reply)}, kNothing,
       {{kIn, Bytes({0x00, 0x11})}, {kIn, reply}}},
      {"a bad CRC, then a frame", false, {Join(badCrc, reply)}, kNothing, {{kIn, badCrc}, {kIn, reply}}},
      {"a false start before a frame", false, {Join(Bytes({0xA6}), reply)}, kNothing,
       {{kIn, Bytes({0xA6})}, {kIn, reply}}},
      {"a header announcing too much", false, {Join(oversized, Bytes({1}))}, kNothing,
       {{kIn, oversized}, {kIn, Bytes({1})}}},
      {"unfinished, then a request", false, {head}, kSend, {{kIn, head}, {0, request}}},
      {"unfinished when the trace ends", false, {head}, kEnd, {{kIn, head}}},
      {"datagrams as they came", true, {Join(reply, reply)}, kSend,
       {{kIn | dqabi::kTraceDatagram, Join(reply, reply)}, {dqabi::kTraceDatagram, request}}},
  };
  for (const Row& row : rows) {
    std::vector<Piece> pieces;
    dqbus::FrameTap tap(dqbus::SteadyClock(), row.datagrams);
    tap.Set(&Collect, &pieces);
    for (const auto& read : row.reads) tap.Received(read.data(), read.size());
    if (row.after == kSend) tap.Sent(request.data(), request.size());
    if (row.after == kEnd) tap.Set(nullptr, nullptr);
    EXPECT_EQ(pieces, row.pieces) << row.name;
  }
}

}  // namespace
