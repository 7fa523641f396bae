// The frame trace end to end: the access layer binds the real libraries'
// Trace on request, and the companion's writer shows the identification's
// frames as docs/protocol.md's test vectors give them, over the COM port (a
// pseudo-terminal) and over UDP on 127.0.0.1. The transaction number (a
// link starts at a random one) and the CRC are masked.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "FrameTrace.h"
#include "InProcessSim.h"
#include "Txxx847.h"

namespace {

struct Row {
  int address, subcode, b3;
  std::string request, reply;  // hex of the test vector
};

const Row kIdentification[] = {
    {1, 0, 0, "5B FF 00 01 C8 00 00 00 00 00 00 9F 32", "A6 FF 00 01 C8 00 04 44 51 37 31 C4 98"},
    {1, 1, 4, "5B 00 02 01 C8 01 04 00 00 00 00 43 B0", "A6 00 02 01 C8 00 04 38 34 2F 39 EA 42"},
    {32, 2, 4, "5B 00 01 20 C8 02 04 00 00 00 00 94 A7", "A6 00 01 20 C8 00 04 31 2E 30 33 97 0A"},
};

// A frame's hex as a pattern: transaction number and CRC match any byte.
std::string Masked(std::string hex) {
  for (size_t at : {size_t{3}, size_t{6}, hex.size() - 5, hex.size() - 2}) hex.replace(at, 2, "..");
  return hex;
}

class TraceE2E : public ::testing::TestWithParam<TInterfaceType> {
 protected:
  void TearDown() override {
    if (DriverIsBound()) DriverDone(GetParam(), handle_);
  }
  uint8_t Identify(const Row& row) {
    uint8_t b[5] = {static_cast<uint8_t>(row.b3), 0, 0, 0, 0}, status = 0xEE;
    TExchangeReply reply{};
    ModuleExchange(GetParam(), handle_, static_cast<uint8_t>(row.address), 200, static_cast<uint8_t>(row.subcode),
                   b[0], b[1], b[2], b[3], b[4], status, reply);
    return status;
  }
  dqtest::InProcessSim sim_;
  int32_t handle_ = 0;
};

TEST_P(TraceE2E, IdentificationShowsTheFramesOfTheTestVectors) {
  dqsim::SimOptions options = dqtest::OneModule(1, 9);
  options.addresses = {1, 0x20};
  ASSERT_EQ(sim_.Start(options), "");
  const bool lan = GetParam() == itDq2847;
  const std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {9};  // COM9
  if (lan) {
    params[0] = reinterpret_cast<intptr_t>(ip.c_str());
    params[1] = sim_->UdpPort();
    params[2] = 5000;  // UDP timeout, ms
  }
  ASSERT_EQ(DriverInit(GetParam(), handle_, params), 0);
  ASSERT_EQ(DriverSetConfig(GetParam(), handle_, 9600, 1000, 2), 0);  // long windows: no retry when slow

  std::FILE* out = std::tmpfile();
  dqcommission::TraceWriter writer(out);
  ASSERT_EQ(DriverSetTrace(GetParam(), handle_, &dqcommission::TraceWriter::Callback, &writer), 0);
  for (const Row& row : kIdentification) ASSERT_EQ(Identify(row), 0);
  ASSERT_EQ(DriverSetTrace(GetParam(), handle_, nullptr, nullptr), 0);
  ASSERT_EQ(Identify(kIdentification[0]), 0);  // not traced

  std::rewind(out);
  std::vector<std::string> lines;
  for (char line[512]; std::fgets(line, sizeof line, out) != nullptr;) lines.emplace_back(line);
  std::fclose(out);
  ASSERT_EQ(lines.size(), 2 * std::size(kIdentification));
  for (size_t i = 0; i < lines.size(); ++i) {
    const Row& row = kIdentification[i / 2];
    const std::string head = " addr " + std::to_string(row.address) + " cmd 200 ";
    const std::string pattern =
        i % 2 == 0 ? std::string(lan ? "-> 44 51 02 01 .. .. 04 00 " : "-> ") + Masked(row.request) + " \\| " +
                         (lan ? "udp seq 0x.... baud 4: " : "") + "request tx 0x...." + head + "sub " +
                         std::to_string(row.subcode) + " b3-b7 0" + std::to_string(row.b3) + " 00 00 00 00, CRC good"
                   : std::string(lan ? "<- 44 51 02 81 .. .. 04 00 " : "<- ") + Masked(row.reply) + " \\| " +
                         (lan ? "udp seq 0x.... baud 4: " : "") + "reply tx 0x...." + head +
                         "status 0 count 4, CRC good";
    EXPECT_TRUE(std::regex_match(lines[i], std::regex("[0-9]+\\.[0-9]{6} " + pattern + "\n"))) << lines[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Links, TraceE2E, ::testing::Values(itComPort, itDq2847),
                         [](const auto& info) { return info.param == itComPort ? "Com" : "Lan"; });

}  // namespace
