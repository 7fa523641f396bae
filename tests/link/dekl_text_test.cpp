// Text helpers, the integer text rule, baud-rate codes and record defaults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Dekl.h"
#include "dekl_test_files.h"

namespace {

bool Parses(const std::string& text, int32_t expected) {
  int32_t value = 12345;
  return TryParseInteger(text, value) && value == expected;
}

bool Refused(const std::string& text) {
  int32_t value = 12345;
  return !TryParseInteger(text, value) && value == 12345;
}

TEST(IntegerTextRule, DecimalWithSignAndLeadingBlanks) {
  EXPECT_TRUE(Parses("0", 0));
  EXPECT_TRUE(Parses("+5", 5));
  EXPECT_TRUE(Parses("-5", -5));
  EXPECT_TRUE(Parses(" 7", 7));
  EXPECT_TRUE(Parses("   -0", 0));
  EXPECT_TRUE(Parses("000000000000000000042", 42));
  EXPECT_TRUE(Parses("2147483647", 2147483647));
  EXPECT_TRUE(Parses("-2147483648", INT32_MIN));
}

TEST(IntegerTextRule, HexadecimalPrefixesAsBitPattern) {
  EXPECT_TRUE(Parses("$3E8", 1000));
  EXPECT_TRUE(Parses("$3e8", 1000));
  EXPECT_TRUE(Parses("x10", 16));
  EXPECT_TRUE(Parses("X10", 16));
  EXPECT_TRUE(Parses("0x1f", 31));
  EXPECT_TRUE(Parses("0X1F", 31));
  EXPECT_TRUE(Parses("  $FF", 255));
  EXPECT_TRUE(Parses("xFFFFFFFF", -1));
  EXPECT_TRUE(Parses("$80000000", INT32_MIN));
  EXPECT_TRUE(Parses("0x00000000000000ff", 255));
}

TEST(IntegerTextRule, NonNumbersLeaveTheValueAlone) {
  for (const char* text : {"", " ", "-", "+", "$", "x", "X", "0x", "0X", "7 ", "12a", "1 2", "2147483648",
                           "-2147483649", "0x100000000", "+0x5", "-$5", "$-5", "0x0x1", "\t7", "1e3", "$ 5",
                           "0b1", "٣"}) {
    EXPECT_TRUE(Refused(text)) << '"' << text << '"';
  }
  EXPECT_TRUE(Refused(std::string("5\0", 2)));
}

TEST(ParseWordInRange, LimitsAreInclusiveAndNegativesFail) {
  uint16_t value = 777;
  EXPECT_TRUE(ParseWordInRange("1", 1, 1000, value));
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(ParseWordInRange("1000", 1, 1000, value));
  EXPECT_EQ(value, 1000);
  EXPECT_TRUE(ParseWordInRange("$3E8", 1, 1000, value));
  EXPECT_EQ(value, 1000);
  EXPECT_TRUE(ParseWordInRange("65535", 0, 65535, value));
  EXPECT_EQ(value, 65535);

  value = 777;
  for (const char* text : {"0", "1001", "-5", "", "12a", "xFFFFFFFF", "65536"}) {
    EXPECT_FALSE(ParseWordInRange(text, 1, 1000, value)) << text;
  }
  EXPECT_FALSE(ParseWordInRange("xFFFFFFFF", 0, 65535, value));  // -1, not 65535
  EXPECT_EQ(value, 777);
}

TEST(TimeText, ClampsAndPads) {
  EXPECT_EQ(TimeText(0, 0, 0), "0:00:00");
  EXPECT_EQ(TimeText(7, 5, 9), "7:05:09");
  EXPECT_EQ(TimeText(23, 59, 59), "23:59:59");
  EXPECT_EQ(TimeText(24, 60, 60), "23:59:59");
  EXPECT_EQ(TimeText(99, 10, 255), "23:10:59");
}

class DateTextTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentYearSource(nullptr); }
  static void PcYear(int year) {
    SetCurrentYearSource([year] { return year; });
  }
};

TEST_F(DateTextTest, YearComesFromThePcsFourYearCycle) {
  for (int pcYear = 2024; pcYear <= 2027; ++pcYear) {
    PcYear(pcYear);
    EXPECT_EQ(DateText(5, 3, 2), "5.3.2026") << pcYear;
    EXPECT_EQ(DateText(1, 1, 0), "1.1.2024") << pcYear;
    EXPECT_EQ(DateText(31, 12, 3), "31.12.2027") << pcYear;
  }
  PcYear(2028);
  EXPECT_EQ(DateText(5, 3, 3), "5.3.2031");
  EXPECT_EQ(DateText(5, 3, 0), "5.3.2028");
  PcYear(2027);
  EXPECT_EQ(DateText(5, 3, 0), "5.3.2024");
}

TEST_F(DateTextTest, ClampsDayAndMonthButNotTheYearInCycle) {
  PcYear(2025);
  EXPECT_EQ(DateText(0, 0, 1), "0.0.2025");
  EXPECT_EQ(DateText(32, 13, 0), "31.12.2024");
  EXPECT_EQ(DateText(255, 255, 5), "31.12.2029");
  EXPECT_EQ(DateText(1, 1, 255), "1.1.2279");
}

TEST_F(DateTextTest, YearIsSixteenBitArithmetic) {
  PcYear(65535);
  EXPECT_EQ(DateText(1, 1, 3), "1.1.65535");
  EXPECT_EQ(DateText(1, 1, 4), "1.1.0");
  PcYear(65536 + 2024);  // only the low 16 bits of the PC's year count
  EXPECT_EQ(DateText(1, 1, 1), "1.1.2025");
}

TEST(PackBytes, FirstByteIsLeastSignificant) {
  EXPECT_EQ(PackBytes(1, 0, 0, 0), 1u);
  EXPECT_EQ(PackBytes(0, 0, 0, 1), 16777216u);
  EXPECT_EQ(PackBytes(0x78, 0x56, 0x34, 0x12), 0x12345678u);
  EXPECT_EQ(PackBytes(255, 255, 255, 255), 4294967295u);
}

TEST(BaudCodes, NineRatesBothWaysAndFallbacks) {
  const uint32_t rates[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  const uint8_t timings[] = {100, 100, 50, 25, 13, 7, 5, 5, 5};
  for (uint8_t code = 0; code < kBaudCodeCount; ++code) {
    EXPECT_EQ(BaudRateFromCode(code), rates[code]);
    EXPECT_EQ(BaudCodeFromRate(rates[code]), code);
    EXPECT_EQ(BaudTiming(code), timings[code]);
  }
  for (uint8_t code : {9, 10, 128, 255}) {
    EXPECT_EQ(BaudRateFromCode(code), 9600u);
    EXPECT_EQ(BaudTiming(code), 13);
  }
  for (uint32_t rate : {0u, 1000u, 9601u, 230400u, 4294967295u}) EXPECT_EQ(BaudCodeFromRate(rate), 4);
}

TEST(ConnectionDefaults, EveryFieldOverwritten) {
  TConnectionConfig config;
  config.InterfaceType = 0xA5;
  config.ModuleAddress = 9;
  config.BaudRate = 1;
  config.IsaBaseAddress = 1;
  config.ComPort = 9;
  for (auto& word : config.InitParams) word = -1;
  config.IpAddress = "127.0.0.11";
  config.UdpPort = 1;
  config.UdpTimeout = 1;
  config.DriverHandle = 77;
  config.Initialized = true;
  config.ModuleIdent = "DQ-7184 v.1";
  config.ModuleSetup = TModuleSetup{};

  SetConnectionDefaults(&config);
  EXPECT_EQ(config.InterfaceType, itComPort);
  EXPECT_EQ(config.ModuleAddress, 0);
  EXPECT_EQ(config.BaudRate, 9600u);
  EXPECT_EQ(config.IsaBaseAddress, 0x300);
  EXPECT_EQ(config.ComPort, 1);
  for (auto word : config.InitParams) EXPECT_EQ(word, 0);
  EXPECT_EQ(config.IpAddress, "127.0.0.1");
  EXPECT_EQ(config.UdpPort, 5000u);
  EXPECT_EQ(config.UdpTimeout, 200u);
  // "Připojení modulu dosud neinicializováno" in Windows-1250.
  EXPECT_EQ(config.StatusText, "P\xF8ipojen\xED modulu dosud neinicializov\xE1no");
  EXPECT_EQ(config.DriverHandle, 0);
  EXPECT_FALSE(config.Initialized);
  EXPECT_TRUE(config.ModuleIdent.empty());

  const TModuleSetup expected = DefaultModuleSetup();
  EXPECT_EQ(std::memcmp(&config.ModuleSetup, &expected, sizeof expected), 0);
  SetConnectionDefaults(nullptr);  // does nothing
}

TEST(ConnectionDefaults, ModuleSetupBytes) {
  const TModuleSetup setup = DefaultModuleSetup();
  const unsigned char expected[22] = {1, 4, 1, 0, 1, 0, 1, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(&setup, expected, sizeof expected), 0);
}

}  // namespace
