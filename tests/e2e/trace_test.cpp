// The frame trace end to end: the access layer binds the real libraries'
// Trace entry point on request, and the companion's writer shows the
// identification's frames as docs/protocol.md's test vectors give them,
// over the COM port (a pseudo-terminal) and over UDP on 127.0.0.1. The
// transaction number (a link starts at a random one) and the CRC are masked.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "FrameTrace.h"
#include "InProcessSim.h"
#include "Txxx847.h"

namespace {

constexpr int kComPort = 9;

enum class Via { kCom, kLan };

// One identification exchange and the frames of its test vector.
struct Row {
  uint8_t address;
  uint8_t subcode;
  uint8_t b3;
  const char* request;  // hex as in docs/protocol.md section 9
  const char* reply;
  const char* requestText;  // the decoded part, "tx ?" for the number
  const char* replyText;
};

const Row kIdentification[] = {
    {1, 0, 0, "5B FF 00 01 C8 00 00 00 00 00 00 9F 32", "A6 FF 00 01 C8 00 04 44 51 37 31 C4 98",
     "request tx ? addr 1 cmd 200 sub 0 b3-b7 00 00 00 00 00, CRC good",
     "reply tx ? addr 1 cmd 200 status 0 count 4, CRC good"},
    {1, 1, 4, "5B 00 02 01 C8 01 04 00 00 00 00 43 B0", "A6 00 02 01 C8 00 04 38 34 2F 39 EA 42",
     "request tx ? addr 1 cmd 200 sub 1 b3-b7 04 00 00 00 00, CRC good",
     "reply tx ? addr 1 cmd 200 status 0 count 4, CRC good"},
    {0x20, 2, 4, "5B 00 01 20 C8 02 04 00 00 00 00 94 A7", "A6 00 01 20 C8 00 04 31 2E 30 33 97 0A",
     "request tx ? addr 32 cmd 200 sub 2 b3-b7 04 00 00 00 00, CRC good",
     "reply tx ? addr 32 cmd 200 status 0 count 4, CRC good"},
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : " ") + part;
  return text;
}

// Hex bytes of a frame (behind `header` bytes of a datagram header) with
// the transaction number, the CRC and the datagram's sequence number masked.
std::string Masked(const std::string& hex, size_t header) {
  std::vector<std::string> bytes = Split(hex, ' ');
  if (bytes.size() < header + 5) return hex;
  for (size_t i : {header + 1, header + 2, bytes.size() - 2, bytes.size() - 1}) bytes[i] = "..";
  if (header != 0) bytes[4] = bytes[5] = "..";
  return Join(bytes);
}

// "<time> <dir> <hex> | <text>" -> "<dir> <masked hex> | <text with 'tx ?'>".
std::string MaskedLine(const std::string& line, size_t header) {
  const size_t bar = line.find(" | ");
  const size_t dir = line.find(' ');
  if (bar == std::string::npos || dir == std::string::npos || dir + 4 > bar) return line;
  std::string text = line.substr(bar + 3);
  const size_t colon = text.find(": ");
  if (header != 0 && colon != std::string::npos) text = text.substr(colon + 2);
  const size_t tx = text.find("tx 0x");
  if (tx != std::string::npos) text.replace(tx, 9, "tx ?");
  return line.substr(dir + 1, 3) + Masked(line.substr(dir + 4, bar - dir - 4), header) + " | " + text;
}

class TraceE2E : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override {
    dqsim::SimOptions options = dqtest::OneModule(1, kComPort);
    options.addresses = {1, 0x20};
    const std::string error = sim_.Start(options);
    ASSERT_TRUE(error.empty()) << error;
    out_ = std::tmpfile();
    ASSERT_NE(out_, nullptr);
  }

  void TearDown() override {
    if (DriverIsBound()) DriverDone(Type(), handle_);
    sim_.Stop();
    if (out_ != nullptr) std::fclose(out_);
  }

  TInterfaceType Type() const { return GetParam() == Via::kCom ? itComPort : itDq2847; }
  // Bytes of the datagram header in front of each traced frame.
  size_t Header() const { return GetParam() == Via::kCom ? 0 : 8; }

  int32_t Connect() {
    intptr_t params[kInitParamCount] = {};
    if (GetParam() == Via::kCom) {
      params[0] = kComPort;
    } else {
      params[0] = reinterpret_cast<intptr_t>(ip_.c_str());
      params[1] = sim_->UdpPort();
      params[2] = 5000;  // UDP timeout, ms: no retry on a loaded machine
    }
    int32_t result = DriverInit(Type(), handle_, params);
    if (result != 0) return result;
    // The longest reply latency, so that a slow machine causes no retry.
    return DriverSetConfig(Type(), handle_, 9600, 1000, 2);
  }

  uint8_t Identify(const Row& row) {
    uint8_t b[5] = {row.b3, 0, 0, 0, 0};
    uint8_t status = 0xEE;
    TExchangeReply reply{};
    ModuleExchange(Type(), handle_, row.address, 200, row.subcode, b[0], b[1], b[2], b[3], b[4], status, reply);
    return status;
  }

  std::vector<std::string> TracedLines() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char chunk[512];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, out_)) > 0;) text.append(chunk, n);
    return Split(text, '\n');
  }

  std::string ip_ = "127.0.0.1";
  dqtest::InProcessSim sim_;
  int32_t handle_ = 0;
  std::FILE* out_ = nullptr;
};

TEST_P(TraceE2E, IdentificationShowsTheFramesOfTheTestVectors) {
  ASSERT_EQ(Connect(), 0);
  dqcommission::TraceWriter writer(out_);
  ASSERT_EQ(DriverSetTrace(Type(), handle_, &dqcommission::TraceWriter::Callback, &writer), 0);
  std::vector<std::string> expected;
  const std::string udpOut = Header() != 0 ? "44 51 02 01 00 00 04 00 " : "";
  const std::string udpIn = Header() != 0 ? "44 51 02 81 00 00 04 00 " : "";
  for (const Row& row : kIdentification) {
    ASSERT_EQ(Identify(row), 0);
    expected.push_back("-> " + Masked(udpOut + row.request, Header()) + " | " + row.requestText);
    expected.push_back("<- " + Masked(udpIn + row.reply, Header()) + " | " + row.replyText);
  }
  // Off again: the next exchange is not traced.
  ASSERT_EQ(DriverSetTrace(Type(), handle_, nullptr, nullptr), 0);
  ASSERT_EQ(Identify(kIdentification[0]), 0);

  std::vector<std::string> lines;
  for (const std::string& line : TracedLines()) lines.push_back(MaskedLine(line, Header()));
  EXPECT_EQ(lines, expected);
}

INSTANTIATE_TEST_SUITE_P(Links, TraceE2E, ::testing::Values(Via::kCom, Via::kLan),
                         [](const auto& info) { return info.param == Via::kCom ? "Com" : "Lan"; });

}  // namespace
