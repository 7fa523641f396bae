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

enum class Via { kCom, kLan };

struct Row {
  uint8_t address, subcode, b3;
  const char *request, *reply;            // hex of the test vector
  const char *requestText, *replyText;    // the decoded part
};

const Row kIdentification[] = {
    {1, 0, 0, "5B FF 00 01 C8 00 00 00 00 00 00 9F 32", "A6 FF 00 01 C8 00 04 44 51 37 31 C4 98",
     "request tx 0x.... addr 1 cmd 200 sub 0 b3-b7 00 00 00 00 00, CRC good", "reply tx 0x.... addr 1 cmd 200"},
    {1, 1, 4, "5B 00 02 01 C8 01 04 00 00 00 00 43 B0", "A6 00 02 01 C8 00 04 38 34 2F 39 EA 42",
     "request tx 0x.... addr 1 cmd 200 sub 1 b3-b7 04 00 00 00 00, CRC good", "reply tx 0x.... addr 1 cmd 200"},
    {0x20, 2, 4, "5B 00 01 20 C8 02 04 00 00 00 00 94 A7", "A6 00 01 20 C8 00 04 31 2E 30 33 97 0A",
     "request tx 0x.... addr 32 cmd 200 sub 2 b3-b7 04 00 00 00 00, CRC good", "reply tx 0x.... addr 32 cmd 200"},
};

// A frame's hex as a pattern: transaction number and CRC match any byte.
std::string Masked(std::string hex) {
  for (size_t at : {size_t{3}, size_t{6}, hex.size() - 5, hex.size() - 2}) hex.replace(at, 2, "..");
  return hex;
}

class TraceE2E : public ::testing::TestWithParam<Via> {
 protected:
  void TearDown() override {
    if (DriverIsBound()) DriverDone(Type(), handle_);
    sim_.Stop();
  }
  TInterfaceType Type() const { return GetParam() == Via::kCom ? itComPort : itDq2847; }

  uint8_t Identify(const Row& row) {
    uint8_t b[5] = {row.b3, 0, 0, 0, 0}, status = 0xEE;
    TExchangeReply reply{};
    ModuleExchange(Type(), handle_, row.address, 200, row.subcode, b[0], b[1], b[2], b[3], b[4], status, reply);
    return status;
  }

  dqtest::InProcessSim sim_;
  int32_t handle_ = 0;
};

TEST_P(TraceE2E, IdentificationShowsTheFramesOfTheTestVectors) {
  dqsim::SimOptions options = dqtest::OneModule(1, 9);
  options.addresses = {1, 0x20};
  ASSERT_EQ(sim_.Start(options), "");
  const std::string ip = "127.0.0.1";
  // Long reply windows, so that a slow machine causes no retry.
  intptr_t params[kInitParamCount] = {9};
  if (GetParam() == Via::kLan) {
    params[0] = reinterpret_cast<intptr_t>(ip.c_str());
    params[1] = sim_->UdpPort();
    params[2] = 5000;
  }
  ASSERT_EQ(DriverInit(Type(), handle_, params), 0);
  ASSERT_EQ(DriverSetConfig(Type(), handle_, 9600, 1000, 2), 0);

  std::FILE* out = std::tmpfile();
  dqcommission::TraceWriter writer(out);
  ASSERT_EQ(DriverSetTrace(Type(), handle_, &dqcommission::TraceWriter::Callback, &writer), 0);
  for (const Row& row : kIdentification) ASSERT_EQ(Identify(row), 0);
  ASSERT_EQ(DriverSetTrace(Type(), handle_, nullptr, nullptr), 0);
  ASSERT_EQ(Identify(kIdentification[0]), 0);  // not traced

  std::rewind(out);
  std::vector<std::string> lines;
  for (char line[512]; std::fgets(line, sizeof line, out) != nullptr;) lines.emplace_back(line);
  std::fclose(out);
  ASSERT_EQ(lines.size(), 2 * std::size(kIdentification));
  const bool lan = GetParam() == Via::kLan;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Row& row = kIdentification[i / 2];
    const bool sent = i % 2 == 0;
    const std::string pattern =
        std::string(sent ? "^[0-9]+\\.[0-9]{6} -> " : "^[0-9]+\\.[0-9]{6} <- ") +
        (lan ? (sent ? "44 51 02 01 .. .. 04 00 " : "44 51 02 81 .. .. 04 00 ") : "") +
        Masked(sent ? row.request : row.reply) + " \\| " + (lan ? "udp seq 0x.... baud 4: " : "") +
        (sent ? row.requestText : std::string(row.replyText) + " status 0 count 4, CRC good") + "\n$";
    EXPECT_TRUE(std::regex_search(lines[i], std::regex(pattern))) << lines[i] << pattern;
  }
}

INSTANTIATE_TEST_SUITE_P(Links, TraceE2E, ::testing::Values(Via::kCom, Via::kLan),
                         [](const auto& info) { return info.param == Via::kCom ? "Com" : "Lan"; });

}  // namespace
