// Frame codec, CRC and the reply hunter; the vectors are those of
// docs/protocol.md.
#include <gtest/gtest.h>

#include "Protocol.h"
#include "TestUtil.h"

using dqtest::Bytes;
using dqtest::Rep;
using dqtest::Req;

namespace {

struct Vector {
  const char* name;
  dqbus::Request request;
  std::vector<uint8_t> requestBytes;
  dqbus::Reply reply;
  std::vector<uint8_t> replyBytes;
};

const std::vector<Vector>& Vectors() {
  static const std::vector<Vector> vectors = {
      {"read inputs", Req(1, 0, 64, {0, 0, 0, 0, 0}, 0x1234),
       Bytes({0x5B, 0x34, 0x12, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x78, 0x47}),
       Rep(1, 0, 0, {0x05, 0x00, 0x80, 0xFF}, 0x1234),
       Bytes({0xA6, 0x34, 0x12, 0x01, 0x00, 0x00, 0x04, 0x05, 0x00, 0x80, 0xFF, 0x9E, 0xA4})},
      {"read register 0x3F", Req(1, 102, 0, {0, 0x3F, 0x3F, 0, 0}, 0x0001),
       Bytes({0x5B, 0x01, 0x00, 0x01, 0x66, 0x00, 0x00, 0x3F, 0x3F, 0x00, 0x00, 0x88, 0xD6}),
       Rep(1, 102, 0, {0x3F, 0x3F, 7, 7}, 0x0001),
       Bytes({0xA6, 0x01, 0x00, 0x01, 0x66, 0x00, 0x04, 0x3F, 0x3F, 0x07, 0x07, 0x02, 0x4B})},
      {"write register 0x3E", Req(1, 103, 0, {0, 0x3E, 0x3E, 8, 8}, 0x0002),
       Bytes({0x5B, 0x02, 0x00, 0x01, 0x67, 0x00, 0x00, 0x3E, 0x3E, 0x08, 0x08, 0x3E, 0x23}),
       Rep(1, 103, 0, {}, 0x0002),
       Bytes({0xA6, 0x02, 0x00, 0x01, 0x67, 0x00, 0x00, 0x6C, 0xCB})},
      {"identify 0", Req(1, 200, 0, {0, 0, 0, 0, 0}, 0x00FF),
       Bytes({0x5B, 0xFF, 0x00, 0x01, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9F, 0x32}),
       Rep(1, 200, 0, {'D', 'Q', '7', '1'}, 0x00FF),
       Bytes({0xA6, 0xFF, 0x00, 0x01, 0xC8, 0x00, 0x04, 0x44, 0x51, 0x37, 0x31, 0xC4, 0x98})},
      {"identify 2", Req(0x20, 200, 2, {4, 0, 0, 0, 0}, 0x0100),
       Bytes({0x5B, 0x00, 0x01, 0x20, 0xC8, 0x02, 0x04, 0x00, 0x00, 0x00, 0x00, 0x94, 0xA7}),
       Rep(0x20, 200, 0, {'1', '.', '0', '3'}, 0x0100),
       Bytes({0xA6, 0x00, 0x01, 0x20, 0xC8, 0x00, 0x04, 0x31, 0x2E, 0x30, 0x33, 0x97, 0x0A})},
      {"counters 0-3", Req(1, 202, 0, {0, 0, 0, 0, 0}, 0xBEEF),
       Bytes({0x5B, 0xEF, 0xBE, 0x01, 0xCA, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC4, 0xC0}),
       Rep(1, 202, 0, {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0}, 0xBEEF),
       Bytes({0xA6, 0xEF, 0xBE, 0x01, 0xCA, 0x00, 0x10, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBD, 0x32})},
      {"start counters", Req(1, 1, 112, {0, 255, 255, 255, 255}, 0x7FFF),
       Bytes({0x5B, 0xFF, 0x7F, 0x01, 0x01, 0x70, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xE8, 0xA8}),
       Rep(1, 1, 0, {}, 0x7FFF),
       Bytes({0xA6, 0xFF, 0x7F, 0x01, 0x01, 0x00, 0x00, 0x8C, 0xF3})},
      {"unknown command", Req(1, 55, 0, {0, 0, 0, 0, 0}, 0x8000),
       Bytes({0x5B, 0x00, 0x80, 0x01, 0x37, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC4, 0x08}),
       Rep(1, 55, 1, {}, 0x8000),
       Bytes({0xA6, 0x00, 0x80, 0x01, 0x37, 0x01, 0x00, 0x6D, 0x76})},
      {"set time", Req(1, 101, 1, {0, 15, 30, 6, 0}, 0xFFFF),
       Bytes({0x5B, 0xFF, 0xFF, 0x01, 0x65, 0x01, 0x00, 0x0F, 0x1E, 0x06, 0x00, 0xC7, 0x6F}),
       Rep(1, 101, 0, {}, 0xFFFF),
       Bytes({0xA6, 0xFF, 0xFF, 0x01, 0x65, 0x00, 0x00, 0xCC, 0xF2})},
      {"identify 1", Req(1, 200, 1, {4, 0, 0, 0, 0}, 0x0200),
       Bytes({0x5B, 0x00, 0x02, 0x01, 0xC8, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00, 0x43, 0xB0}),
       Rep(1, 200, 0, {'8', '4', '/', '9'}, 0x0200),
       Bytes({0xA6, 0x00, 0x02, 0x01, 0xC8, 0x00, 0x04, 0x38, 0x34, 0x2F, 0x39, 0xEA, 0x42})},
  };
  return vectors;
}

std::vector<dqbus::Reply> Frames(const std::vector<dqbus::ReplyStream::Event>& events) {
  std::vector<dqbus::Reply> frames;
  for (const auto& event : events) {
    if (event.kind == dqbus::ReplyStream::Event::kFrame) frames.push_back(event.reply);
  }
  return frames;
}

size_t CountKind(const std::vector<dqbus::ReplyStream::Event>& events, dqbus::ReplyStream::Event::Kind kind) {
  size_t n = 0;
  for (const auto& event : events) n += event.kind == kind ? 1 : 0;
  return n;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST(Crc16, ModbusCheckValue) {
  const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(dqbus::Crc16(text, sizeof text), 0x4B37);
  EXPECT_EQ(dqbus::Crc16(text, 0), 0xFFFF);
}

// The byte-at-a-time table against the bit-by-bit definition: every single
// byte value, and every length up to a longest reply of varied bytes.
TEST(Crc16, AgreesWithBitwiseDefinition) {
  auto bitwise = [](const uint8_t* p, size_t n) {
    uint16_t crc = 0xFFFF;
    while (n-- > 0) {
      crc ^= *p++;
      for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
  };
  for (int value = 0; value < 256; ++value) {
    const uint8_t byte = static_cast<uint8_t>(value);
    ASSERT_EQ(dqbus::Crc16(&byte, 1), bitwise(&byte, 1)) << value;
  }
  std::vector<uint8_t> bytes(dqbus::kReplyMaxSize);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
  for (size_t n = 0; n <= bytes.size(); ++n) ASSERT_EQ(dqbus::Crc16(bytes.data(), n), bitwise(bytes.data(), n)) << n;
}

TEST(ProtocolVectors, EncodeAndDecodeBothWays) {
  for (const auto& v : Vectors()) {
    SCOPED_TRACE(v.name);
    auto request = dqbus::EncodeRequest(v.request);
    EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()), v.requestBytes);
    auto decodedRequest = dqbus::DecodeRequest(v.requestBytes.data(), v.requestBytes.size());
    ASSERT_TRUE(decodedRequest);
    EXPECT_EQ(decodedRequest->params, v.request.params);
    EXPECT_EQ(decodedRequest->transaction, v.request.transaction);
    EXPECT_EQ(dqbus::EncodeReply(v.reply), v.replyBytes);
    auto decoded = dqbus::DecodeReply(v.replyBytes.data(), v.replyBytes.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->data, v.reply.data);
    EXPECT_EQ(decoded->status, v.reply.status);
    EXPECT_EQ(decoded->transaction, v.reply.transaction);
  }
}

TEST(ProtocolVectors, UdpCarriage) {
  dqbus::UdpHeader header;
  header.sequence = 0x1234;
  header.baudCode = 8;
  const auto& v = Vectors()[0];
  auto datagram = dqbus::EncodeUdp(header, v.requestBytes.data(), v.requestBytes.size());
  EXPECT_EQ(std::vector<uint8_t>(datagram.begin(), datagram.begin() + 8),
            Bytes({0x44, 0x51, 0x02, 0x01, 0x34, 0x12, 0x08, 0x00}));
  dqbus::UdpHeader back;
  const uint8_t* frame = nullptr;
  size_t size = 0;
  ASSERT_TRUE(dqbus::DecodeUdp(datagram.data(), datagram.size(), back, frame, size));
  EXPECT_EQ(back.sequence, 0x1234);
  EXPECT_EQ(back.baudCode, 8);
  EXPECT_EQ(std::vector<uint8_t>(frame, frame + size), v.requestBytes);
  datagram[2] = 1;  // the version that carried frames without a transaction number
  EXPECT_FALSE(dqbus::DecodeUdp(datagram.data(), datagram.size(), back, frame, size));
}

TEST(ProtocolVectors, UdpDatagramsOfTheDocument) {
  dqbus::UdpHeader header;
  header.sequence = 0x1234;
  header.baudCode = 8;
  const auto& v = Vectors()[0];
  EXPECT_EQ(dqbus::EncodeUdp(header, v.requestBytes.data(), v.requestBytes.size()),
            Concat(Bytes({0x44, 0x51, 0x02, 0x01, 0x34, 0x12, 0x08, 0x00}), v.requestBytes));
  header.kind = dqbus::kUdpKindReply;
  EXPECT_EQ(dqbus::EncodeUdp(header, v.replyBytes.data(), v.replyBytes.size()),
            Concat(Bytes({0x44, 0x51, 0x02, 0x81, 0x34, 0x12, 0x08, 0x00}), v.replyBytes));
}

// Frames of the version without a transaction number (start bytes 0x5A and
// 0xA5) are never read as frames of this one, whole or inside a stream.
TEST(FrameDecoding, FramesWithoutTransactionNumberAreNoFrames) {
  const auto oldRequest = Bytes({0x5A, 0x01, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x47, 0x5F});
  const auto oldReply = Bytes({0xA5, 0x01, 0x00, 0x00, 0x04, 0x05, 0x00, 0x80, 0xFF, 0xDC, 0xE7});
  for (const auto& bytes : {oldRequest, oldReply, Concat(oldReply, oldRequest)}) {
    EXPECT_FALSE(dqbus::DecodeRequest(bytes.data(), bytes.size()));
    EXPECT_FALSE(dqbus::DecodeReply(bytes.data(), bytes.size()));
    dqbus::RequestStream requests;
    EXPECT_TRUE(requests.Feed(bytes.data(), bytes.size()).empty());
    EXPECT_EQ(requests.Pending(), 0u);
    dqbus::ReplyStream replies;
    EXPECT_TRUE(replies.Feed(bytes.data(), bytes.size()).empty());
    EXPECT_FALSE(replies.InFrame());
  }
}

TEST(FrameDecoding, RefusesDamagedFrames) {
  auto good = Vectors()[0].replyBytes;
  auto flipped = good;
  flipped[8] ^= 0x01;
  EXPECT_FALSE(dqbus::DecodeReply(flipped.data(), flipped.size()));
  EXPECT_FALSE(dqbus::DecodeReply(good.data(), good.size() - 1));
  auto longer = Concat(good, {0});
  EXPECT_FALSE(dqbus::DecodeReply(longer.data(), longer.size()));
  auto request = Vectors()[0].requestBytes;
  EXPECT_FALSE(dqbus::DecodeReply(request.data(), request.size()));
  EXPECT_FALSE(dqbus::DecodeRequest(good.data(), good.size()));
  // A count above the maximum is refused even with a matching CRC.
  dqbus::Reply big = Vectors()[0].reply;
  big.data.assign(70, 0x11);
  auto cut = dqbus::EncodeReply(big);
  EXPECT_EQ(cut.size(), dqbus::kReplyMaxSize);  // encoder cuts to 64 data bytes
}

TEST(ReplyStream, FindsFrameAfterNoiseAndAcrossSplits) {
  auto frame = Vectors()[5].replyBytes;
  auto stream = Concat(Bytes({0x00, 0x13, 0xFF, 0x5A}), frame);
  for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
    dqbus::ReplyStream hunter;
    std::vector<dqbus::Reply> found;
    for (size_t pos = 0; pos < stream.size(); pos += chunk) {
      size_t n = std::min(chunk, stream.size() - pos);
      auto frames = Frames(hunter.Feed(stream.data() + pos, n));
      found.insert(found.end(), frames.begin(), frames.end());
    }
    ASSERT_EQ(found.size(), 1u) << "chunk " << chunk;
    EXPECT_EQ(found[0].data, Vectors()[5].reply.data);
    EXPECT_EQ(hunter.DroppedBytes(), 4u);
    EXPECT_FALSE(hunter.InFrame());
  }
}

TEST(ReplyStream, BadCrcFrameThenGoodFrame) {
  auto bad = Vectors()[1].replyBytes;
  bad[7] ^= 0x40;
  dqbus::ReplyStream hunter;
  auto bytes = Concat(bad, Vectors()[1].replyBytes);
  auto events = hunter.Feed(bytes.data(), bytes.size());
  EXPECT_GE(CountKind(events, dqbus::ReplyStream::Event::kBadCrc), 1u);
  auto frames = Frames(events);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data, Vectors()[1].reply.data);
}

TEST(ReplyStream, TruncatedFrameWaitsAndReportsMissingBytes) {
  auto frame = Vectors()[5].replyBytes;
  dqbus::ReplyStream hunter;
  EXPECT_EQ(hunter.Missing(), 0u);
  EXPECT_TRUE(hunter.Feed(frame.data(), 3).empty());
  EXPECT_TRUE(hunter.InFrame());
  EXPECT_EQ(hunter.Missing(), dqbus::kReplyMinSize - 3);
  EXPECT_TRUE(hunter.Feed(frame.data() + 3, 10).empty());
  EXPECT_EQ(hunter.Missing(), frame.size() - 13);
}

TEST(ReplyStream, OversizedCountIsReportedAndSkipped) {
  dqbus::ReplyStream hunter;
  auto bytes = Concat(Bytes({0xA6, 0x00, 0x00, 0x01, 0x00, 0x00, 0xC8}), Vectors()[0].replyBytes);
  auto events = hunter.Feed(bytes.data(), bytes.size());
  EXPECT_EQ(CountKind(events, dqbus::ReplyStream::Event::kOversized), 1u);
  EXPECT_EQ(Frames(events).size(), 1u);
}

TEST(ReplyStream, ResyncFindsFrameHiddenBehindFalseStart) {
  // A stray start byte whose "count" asks for more bytes than will ever come
  // would hide the real frame behind it until the hunter gives it up.
  auto frame = Vectors()[0].replyBytes;
  auto bytes = Concat(Bytes({0xA6, 0x00, 0x00, 0x01, 0x00, 0x00, 0x40}), frame);
  dqbus::ReplyStream hunter;
  EXPECT_TRUE(Frames(hunter.Feed(bytes.data(), bytes.size())).empty());
  EXPECT_TRUE(hunter.InFrame());
  auto frames = Frames(hunter.Resync());
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].data, Vectors()[0].reply.data);
  EXPECT_FALSE(hunter.InFrame());
}

