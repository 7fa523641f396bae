// Whatever arrives on the wire, a library never writes beyond word 99 of a
// reply buffer or of an error text buffer: hostile replies over UDP (a fake
// converter) and over a pseudo-terminal (the simulator's faults), and every
// error code, against buffers followed by guard words.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "FakeConverter.h"
#include "LinkSim.h"
#include "sim/simulator/Simulator.h"
#include "Txxx847.h"

namespace {

using faults::FakeConverter;

constexpr uint32_t kGuard = 0xA5C3A5C3u;
constexpr int kGuardWords = 64;

struct GuardedReply {
  TExchangeReply reply;
  uint32_t guard[kGuardWords];
};
struct GuardedText {
  TErrorTextBuffer buffer;
  uint32_t guard[kGuardWords];
};

template <class T>
void Arm(T& guarded) {
  for (uint32_t& word : guarded.guard) word = kGuard;
}

template <class T>
::testing::AssertionResult GuardsIntact(const T& guarded) {
  for (int i = 0; i < kGuardWords; ++i) {
    if (guarded.guard[i] != kGuard) return ::testing::AssertionFailure() << "written beyond word 99: guard word " << i;
  }
  return ::testing::AssertionSuccess();
}

TExchangeRequest InputsRequest() { return TExchangeRequest{{3, 0, 64, 0, 0, 0, 0, 0}}; }

// ---- UDP: a converter that sends what no module would --------------------------

struct HostileReply {
  const char* name;
  std::function<std::vector<uint8_t>(const dqbus::UdpHeader&, const dqbus::Request&)> datagram;
  int32_t status;
  int32_t count;
};

std::vector<uint8_t> Bytes(size_t size, uint8_t first) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

const HostileReply kHostileReplies[] = {
    {"longest valid reply (64 data bytes)",
     [](const dqbus::UdpHeader& h, const dqbus::Request& r) {
       return FakeConverter::ReplyDatagram(h, FakeConverter::Frame(r, 64, Bytes(64, 1)));
     },
     0, 64},
    {"count 255 with 255 data bytes and a valid CRC",
     [](const dqbus::UdpHeader& h, const dqbus::Request& r) {
       return FakeConverter::ReplyDatagram(h, FakeConverter::Frame(r, 255, Bytes(255, 1)));
     },
     7, 0},
    {"count 64 with 1400 data bytes",
     [](const dqbus::UdpHeader& h, const dqbus::Request& r) {
       return FakeConverter::ReplyDatagram(h, FakeConverter::Frame(r, 64, Bytes(1400, 1)));
     },
     7, 0},
    {"1500 bytes of the start byte",
     [](const dqbus::UdpHeader& h, const dqbus::Request&) {
       return FakeConverter::ReplyDatagram(h, std::vector<uint8_t>(1500, dqbus::kReplyStart));
     },
     7, 0},
};

class UdpReplyBounds : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(converter_.Start());
    intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(ip_.c_str()), converter_.Port(), 40};
    ASSERT_EQ(DriverInit(itDq2847, handle_, params), 0);
    ASSERT_EQ(DriverSetConfig(itDq2847, handle_, 115200, 5, 0), 0);
  }
  void TearDown() override {
    if (DriverIsBound()) DriverDone(itDq2847, handle_);
  }

  const std::string ip_ = "127.0.0.1";
  FakeConverter converter_;
  int32_t handle_ = 0;
};

TEST_F(UdpReplyBounds, NothingBeyondWord99WhateverTheConverterSends) {
  for (const HostileReply& hostile : kHostileReplies) {
    SCOPED_TRACE(hostile.name);
    converter_.SetPlan([&hostile](const dqbus::UdpHeader& header, const dqbus::Request& request) {
      return std::vector<FakeConverter::Datagram>{{FakeConverter::kConverter, hostile.datagram(header, request)}};
    });
    GuardedReply guarded;
    for (uint32_t& word : guarded.reply.Words) word = 0x77777777u;
    Arm(guarded);
    int32_t count = -1, status = -1;
    DriverSend(itDq2847, handle_, InputsRequest(), guarded.reply, count, status);
    EXPECT_EQ(status, hostile.status);
    EXPECT_EQ(count, hostile.count);
    EXPECT_TRUE(GuardsIntact(guarded));
    // All 100 words written: the data, then zeros.
    for (int i = 0; i < 100; ++i) {
      const uint32_t expected = status == 0 && i < count ? static_cast<uint32_t>(i + 1) : 0u;
      ASSERT_EQ(guarded.reply.Words[i], expected) << "word " << i;
    }

    // The same through ModuleExchange, which hands back four bytes.
    Arm(guarded);
    uint8_t b3 = 9, b4 = 9, b5 = 9, b6 = 9, b7 = 9, moduleStatus = 0;
    ModuleExchange(itDq2847, handle_, 3, 0, 64, b3, b4, b5, b6, b7, moduleStatus, guarded.reply);
    EXPECT_EQ(moduleStatus, hostile.status);
    EXPECT_TRUE(GuardsIntact(guarded));
  }
}

// ---- error texts ---------------------------------------------------------------

TEST_F(UdpReplyBounds, ErrorTextsOfEveryCodeStayWithinTheBuffer) {
  std::vector<int32_t> codes = {INT32_MIN, -1000, -1, INT32_MAX, 1000, 65536};
  for (int32_t code = 0; code <= 300; ++code) codes.push_back(code);
  for (int32_t code : codes) {
    GuardedText guarded;
    for (uint32_t& word : guarded.buffer.Words) word = 0x66666666u;
    Arm(guarded);
    DriverErrorText(itDq2847, code, guarded.buffer);
    ASSERT_TRUE(GuardsIntact(guarded)) << "code " << code;
    EXPECT_EQ(guarded.buffer.Words[99], 0u) << "code " << code;
    EXPECT_FALSE(ErrorTextFromBuffer(guarded.buffer).empty()) << "code " << code;
  }
}

// ---- serial line: the simulator's oversized and noisy replies --------------------

class SerialReplyBounds : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sim_.Start(LinkSimOptions(false)), "");
    intptr_t params[kInitParamCount] = {9};
    ASSERT_EQ(DriverInit(itComPort, handle_, params), 0);
    ASSERT_EQ(DriverSetConfig(itComPort, handle_, 115200, 5, 0), 0);
  }
  void TearDown() override {
    if (DriverIsBound()) DriverDone(itComPort, handle_);
    sim_.Stop();
  }

  dqtest::InProcessSim sim_;
  int32_t handle_ = 0;
};

TEST_F(SerialReplyBounds, NothingBeyondWord99WhateverTheLineCarries) {
  const struct {
    dqsim::FaultKind kind;
    int arg;
    int32_t status;
  } cases[] = {
      {dqsim::FaultKind::kOversizeCount, 255, 7},
      {dqsim::FaultKind::kOversizeExtra, 1024, 0},
      {dqsim::FaultKind::kGarbage, 1024, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(dqsim::FaultName(c.kind));
    sim_->ClearFaults();
    sim_->AddFault({c.kind, c.arg, -1});
    GuardedReply guarded;
    Arm(guarded);
    int32_t count = -1, status = -1;
    DriverSend(itComPort, handle_, TExchangeRequest{{3, 202, 0, 0, 0, 0, 0, 0}}, guarded.reply, count, status);
    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(GuardsIntact(guarded));
  }
}

}  // namespace
