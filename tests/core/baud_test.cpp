// The nine rates: codes, wire time and termios speeds.
#include <gtest/gtest.h>

#include "core/BaudRates.h"

TEST(Baud, CodesAndWireTime) {
  EXPECT_EQ(dqcore::BaudCodeOf(600), 0);
  EXPECT_EQ(dqcore::BaudCodeOf(115200), 8);
  EXPECT_EQ(dqcore::BaudCodeOf(14400), -1);
  EXPECT_EQ(dqcore::WireTimeMicros(11, 9600), 11459u);  // rounded up
  EXPECT_EQ(dqcore::WireTimeMicros(1, 600), 16667u);
  EXPECT_EQ(dqcore::WireTimeMicros(5, 0), 0u);
}

TEST(Baud, TermiosSpeedsOfTheNineRatesOnly) {
  for (uint32_t rate : dqcore::kBaudRates) {
    EXPECT_NE(dqcore::TermiosSpeedOf(rate), B0) << rate;
    EXPECT_EQ(dqcore::RateOfTermiosSpeed(dqcore::TermiosSpeedOf(rate)), rate);
  }
  EXPECT_EQ(dqcore::TermiosSpeedOf(14400), B0);
  EXPECT_EQ(dqcore::TermiosSpeedOf(230400), B0);
  EXPECT_EQ(dqcore::RateOfTermiosSpeed(B230400), 0u);
}
