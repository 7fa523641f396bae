// The LAN library takes a reply only from the converter's own address and
// port: datagrams from another port, or from another loopback address
// (127.0.0.2), are dropped even when they carry a perfect reply.
#include <gtest/gtest.h>

#include <string>

#include "FakeConverter.h"
#include "LinkSim.h"
#include "Txxx847.h"

namespace {

using faults::FakeConverter;

class UdpSources : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(converter_.Start());
    // 600 ms: three attempts of 200 ms, so that a loaded machine still
    // sends all three before the bound of the exchange runs out.
    ASSERT_TRUE(link_.Open(itDq2847, converter_.Port(), 600));
  }

  // Reads the inputs of module 3; returns the status, b4-b7 in inputs.
  uint8_t ReadInputs(uint32_t& inputs) {
    uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0xEE;
    TExchangeReply reply{};
    ModuleExchange(itDq2847, link_.Handle(), 3, 0, 64, b3, b4, b5, b6, b7, status, reply);
    inputs = PackBytes(b4, b5, b6, b7);
    return status;
  }

  static std::vector<uint8_t> Reply(const dqbus::UdpHeader& header, const dqbus::Request& request, uint8_t fill) {
    return FakeConverter::ReplyDatagram(header, FakeConverter::Frame(request, 4, {fill, fill, fill, fill}));
  }

  FakeConverter converter_;
  OpenedLink link_;
};

TEST_F(UdpSources, RepliesFromAnotherPortOrAddressAreDropped) {
  converter_.SetPlan([](const dqbus::UdpHeader& header, const dqbus::Request& request) {
    return std::vector<FakeConverter::Datagram>{{FakeConverter::kOtherPort, Reply(header, request, 0x11)},
                                                {FakeConverter::kOtherAddress, Reply(header, request, 0x22)}};
  });
  uint32_t inputs = 0xFFFFFFFF;
  EXPECT_EQ(ReadInputs(inputs), 1) << "no reply from the converter itself";
  EXPECT_EQ(inputs, 0u);
  EXPECT_EQ(converter_.Requests(), 3) << "every attempt waited in vain";
}

TEST_F(UdpSources, TheConverterReplyIsTakenBehindForeignOnes) {
  converter_.SetPlan([](const dqbus::UdpHeader& header, const dqbus::Request& request) {
    return std::vector<FakeConverter::Datagram>{{FakeConverter::kOtherPort, Reply(header, request, 0x11)},
                                                {FakeConverter::kOtherAddress, Reply(header, request, 0x22)},
                                                {FakeConverter::kConverter, Reply(header, request, 0x5A)}};
  });
  uint32_t inputs = 0;
  EXPECT_EQ(ReadInputs(inputs), 0);
  EXPECT_EQ(inputs, 0x5A5A5A5Au);
  // One request each: a new link identifies the module (three exchanges)
  // before the read.
  EXPECT_EQ(converter_.Requests(), 4);
}

}  // namespace
