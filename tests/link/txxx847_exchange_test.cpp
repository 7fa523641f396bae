// ModuleExchange: the request built from its bytes, the reply bytes handed
// back, and what a failure leaves in status and b3-b7.
#include <ostream>

#include "txxx847_fixture.h"

namespace td = testdriver;

namespace {

class ModuleExchangeTest : public Txxx847Test {
 protected:
  void Exchange(uint8_t address = 1, uint8_t command = 0, uint8_t subcode = 64) {
    ModuleExchange(type_, handle_, address, command, subcode, b3, b4, b5, b6, b7, status, reply);
  }
  void Preset(uint8_t value) { b3 = b4 = b5 = b6 = b7 = status = value; }
  void ExpectBytes(uint8_t e3, uint8_t e4, uint8_t e5, uint8_t e6, uint8_t e7) {
    EXPECT_EQ(b3, e3);
    EXPECT_EQ(b4, e4);
    EXPECT_EQ(b5, e5);
    EXPECT_EQ(b6, e6);
    EXPECT_EQ(b7, e7);
  }

  TInterfaceType type_ = itComPort;
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0;
  TExchangeReply reply = {};
};

TEST_F(ModuleExchangeTest, ZeroHandleSendsNothingAndLeavesStatusAndBytes) {
  Bind();
  handle_ = 0;
  Preset(0x5A);
  Exchange();
  EXPECT_EQ(status, 0x5A);
  ExpectBytes(0x5A, 0x5A, 0x5A, 0x5A, 0x5A);
  EXPECT_TRUE(td::Requests().empty());
}

TEST_F(ModuleExchangeTest, RequestCarriesOneByteInEachWord) {
  td::SetInitResult(0, 0x12345);
  Bind(itUsb2847);
  type_ = itUsb2847;
  b3 = 1;
  b4 = 0x80;
  b5 = 0xFF;
  b6 = 3;
  b7 = 4;
  Exchange(0xFE, 200, 2);
  ASSERT_EQ(td::Requests().size(), 1u);
  EXPECT_EQ(td::Requests()[0], (std::array<uint32_t, 8>{0xFE, 200, 2, 1, 0x80, 0xFF, 3, 4}));
  EXPECT_EQ(td::Calls().back().args, std::vector<int64_t>{0x12345});  // the caller's handle
}

TEST_F(ModuleExchangeTest, SuccessHandsBackCountAndLowBytesOfWordsZeroToThree) {
  Bind();
  std::vector<uint32_t> words(16);
  for (uint32_t i = 0; i < 16; ++i) {
    words[i] = 0x100 * (i + 1) + 0xA0 + i;
  }
  td::QueueData(words, 0x105);
  Preset(0x77);
  Exchange();
  EXPECT_EQ(status, 0);
  ExpectBytes(0x05, 0xA0, 0xA1, 0xA2, 0xA3);
  // The caller's reply holds every word the library wrote.
  EXPECT_EQ(reply.Words[15], words[15]);
}

// A failed exchange zeroes b3-b7; the status is the low byte of the
// module's, or Send's own result where that is not 0.
struct FailedReply {
  const char* name;
  td::ScriptedReply reply;
  uint8_t status;
};

void PrintTo(const FailedReply& row, std::ostream* out) { *out << row.name; }

class FailedExchangeTest : public ModuleExchangeTest, public ::testing::WithParamInterface<FailedReply> {};

TEST_P(FailedExchangeTest, ZeroesTheBytes) {
  Bind();
  td::QueueReply(GetParam().reply);
  Preset(0x77);
  Exchange();
  EXPECT_EQ(status, GetParam().status);
  ExpectBytes(0, 0, 0, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FailedExchangeTest,
    ::testing::Values(FailedReply{"KeepsTheLowStatusByte", {0, 0x105, 4, {1, 2, 3, 4}}, 5},
                      FailedReply{"NonZeroSendResultReplacesTheStatus", {12, 0, 4, {1, 2, 3, 4}}, 12}),
    [](const ::testing::TestParamInfo<FailedReply>& info) { return std::string(info.param.name); });

// A failure whose low 8 bits are 0 must not read as success.
TEST_F(ModuleExchangeTest, FailureWithZeroLowByteBecomes255) {
  Bind();
  td::QueueStatus(0x100);
  td::QueueReply(td::ScriptedReply{0x200, 0, 4, {}});
  td::QueueStatus(-256);
  for (int i = 0; i < 3; ++i) {
    Preset(0x77);
    Exchange();
    EXPECT_EQ(status, 255) << "exchange " << i;
    ExpectBytes(0, 0, 0, 0, 0);
  }
  EXPECT_EQ(DriverErrorString(itComPort, status), Cp1250FromUtf8("neznámý chybový kód"));
}

TEST_F(ModuleExchangeTest, NothingBoundGivesStatus10) {
  handle_ = 1;
  Preset(0x77);
  Exchange();
  EXPECT_EQ(status, 10);
  ExpectBytes(0, 0, 0, 0, 0);
}

TEST_F(ModuleExchangeTest, LibraryStatus103ShowsTheUsbLibraryTextOnAnyInterface) {
  Bind(itDq2847);
  type_ = itDq2847;
  td::QueueStatus(103);
  Exchange();
  EXPECT_EQ(status, 103);
  EXPECT_EQ(DriverErrorString(itDq2847, status), "chyba inicializace knihovny TUSB2847.DLL");
  EXPECT_EQ(td::CountCalls("TDQ2847_Error"), 0u);
}

}  // namespace
