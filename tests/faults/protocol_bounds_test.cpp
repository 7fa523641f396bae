// The bound formulas the fault tests measure against reproduce the timing
// table of docs/protocol.md section 5.2.
#include <gtest/gtest.h>

#include "ProtocolBounds.h"

namespace {

struct Row {
  int rate, timing;
  double wire11, firstByte, attempt, send, lanMinimum;
};

// docs/protocol.md, section 5.2 (ms, rounded as printed there).
const Row kTable[] = {
    {600, 100, 183.3, 308.3, 1511.7, 4535, 1486.7},  {1200, 100, 91.7, 216.7, 828.3, 2485, 803.3},
    {2400, 50, 45.8, 120.8, 436.7, 1310, 411.7},     {4800, 25, 22.9, 72.9, 240.8, 723, 215.8},
    {9600, 13, 11.5, 49.5, 143.4, 430, 118.4},       {19200, 7, 5.7, 37.7, 94.7, 284, 69.7},
    {38400, 5, 2.9, 32.9, 71.4, 214, 46.4},          {57600, 5, 1.9, 31.9, 64.2, 193, 39.2},
    {115200, 5, 1.0, 31.0, 57.1, 171, 32.1},
};

TEST(ProtocolBounds, FormulasGiveTheDocumentedTable) {
  for (const Row& row : kTable) {
    SCOPED_TRACE(row.rate);
    EXPECT_NEAR(faults::WireMs(11, row.rate), row.wire11, 0.05);
    EXPECT_NEAR(faults::SerialFirstByteMs(row.rate, row.timing), row.firstByte, 0.05);
    EXPECT_NEAR(faults::SerialAttemptBoundMs(row.rate, row.timing), row.attempt, 0.05);
    EXPECT_NEAR(faults::SerialSendBoundMs(row.rate, row.timing, 2), row.send, 0.5);
    EXPECT_NEAR(faults::LanMinimumMs(row.rate, row.timing), row.lanMinimum, 0.05);
  }
}

TEST(ProtocolBounds, LanAttemptIsTheUdpTimeoutButNeverBelowTheBusMinimum) {
  EXPECT_DOUBLE_EQ(faults::LanAttemptMs(115200, 5, 40), 40);
  EXPECT_NEAR(faults::LanAttemptMs(115200, 5, 0), 32.1, 0.05);
  EXPECT_NEAR(faults::LanAttemptMs(9600, 13, 40), 118.4, 0.05);
  EXPECT_DOUBLE_EQ(faults::LanSendBoundMs(115200, 5, 40, 2), 120);
}

}  // namespace
