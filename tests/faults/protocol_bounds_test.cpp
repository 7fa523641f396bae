// The bound formulas the fault tests measure against reproduce the timing
// tables of docs/protocol.md section 5.
#include <gtest/gtest.h>

#include "ProtocolBounds.h"

namespace {

struct SerialRow {
  int rate, timing;
  double wire13, firstByte, attempt, send, silent, quietGap;
};

// docs/protocol.md, section 5.2 (ms, rounded as printed there).
const SerialRow kSerialTable[] = {
    {600, 100, 216.7, 341.7, 1578.3, 4735, 1025, 53.3}, {1200, 100, 108.3, 233.3, 861.7, 2585, 700, 36.7},
    {2400, 50, 54.2, 129.2, 453.3, 1360, 388, 28.3},    {4800, 25, 27.1, 77.1, 249.2, 748, 231, 24.2},
    {9600, 13, 13.5, 51.5, 147.6, 443, 155, 22.1},      {19200, 7, 6.8, 38.8, 96.8, 290, 116, 21.0},
    {38400, 5, 3.4, 33.4, 72.4, 217, 100, 20.5},        {57600, 5, 2.3, 32.3, 64.9, 195, 97, 20.3},
    {115200, 5, 1.1, 31.1, 57.5, 172, 93, 20.2},
};

TEST(ProtocolBounds, SerialFormulasGiveTheDocumentedTable) {
  for (const SerialRow& row : kSerialTable) {
    SCOPED_TRACE(row.rate);
    EXPECT_NEAR(faults::WireMs(13, row.rate), row.wire13, 0.05);
    EXPECT_NEAR(faults::SerialFirstByteMs(row.rate, row.timing), row.firstByte, 0.05);
    EXPECT_NEAR(faults::SerialAttemptBoundMs(row.rate, row.timing), row.attempt, 0.05);
    EXPECT_NEAR(faults::SerialSendBoundMs(row.rate, row.timing, 2), row.send, 0.5);
    EXPECT_NEAR(3 * faults::SerialFirstByteMs(row.rate, row.timing), row.silent, 0.5);
    EXPECT_NEAR(faults::SerialQuietGapMs(row.rate), row.quietGap, 0.05);
  }
}

struct LanRow {
  int rate, timing;
  double minimum, retryMinimum, bound200;
  std::vector<double> windows200;
};

// docs/protocol.md, section 5.4: the default UDP timeout of 200 ms, 2 retries.
const LanRow kLanTable[] = {
    {600, 100, 1553.3, 486.7, 1553.3, {1553.3}},
    {1200, 100, 836.7, 303.3, 836.7, {836.7}},
    {2400, 50, 428.3, 161.7, 428.3, {428.3}},
    {4800, 25, 224.2, 90.8, 224.2, {224.2}},
    {9600, 13, 122.6, 55.9, 200, {122.6, 77.4}},
    {19200, 7, 71.8, 38.5, 200, {71.8, 71.8, 56.4}},
    {38400, 5, 47.4, 30.7, 200, {66.7, 66.7, 66.7}},
    {57600, 5, 39.9, 28.8, 200, {66.7, 66.7, 66.7}},
    {115200, 5, 32.5, 26.9, 200, {66.7, 66.7, 66.7}},
};

TEST(ProtocolBounds, LanFormulasGiveTheDocumentedTable) {
  for (const LanRow& row : kLanTable) {
    SCOPED_TRACE(row.rate);
    EXPECT_NEAR(faults::LanMinimumMs(row.rate, row.timing), row.minimum, 0.05);
    EXPECT_NEAR(faults::LanRetryMinimumMs(row.rate, row.timing), row.retryMinimum, 0.05);
    EXPECT_NEAR(faults::LanSendBoundMs(row.rate, row.timing, 200), row.bound200, 0.05);
    const auto windows = faults::LanAttemptWindowsMs(row.rate, row.timing, 200, 2);
    ASSERT_EQ(windows.size(), row.windows200.size());
    double sum = 0;
    for (size_t i = 0; i < windows.size(); ++i) {
      EXPECT_NEAR(windows[i], row.windows200[i], 0.05) << "attempt " << i;
      sum += windows[i];
    }
    EXPECT_NEAR(sum, faults::LanSendBoundMs(row.rate, row.timing, 200), 0.001);  // the attempts share the bound
  }
}

TEST(ProtocolBounds, UdpTimeoutBoundsTheWholeExchangeButNeverBelowTheBusMinimum) {
  EXPECT_DOUBLE_EQ(faults::LanSendBoundMs(115200, 5, 40), 40);
  EXPECT_NEAR(faults::LanSendBoundMs(115200, 5, 0), 32.5, 0.05);
  EXPECT_NEAR(faults::LanSendBoundMs(9600, 13, 40), 122.6, 0.05);
  EXPECT_DOUBLE_EQ(faults::LanSendBoundMs(115200, 5, 65535), 65535);
  EXPECT_EQ(faults::LanAttemptWindowsMs(115200, 5, 40, 2).size(), 1u);
  EXPECT_EQ(faults::LanAttemptWindowsMs(115200, 5, 65535, 5).size(), 6u);
}

}  // namespace
