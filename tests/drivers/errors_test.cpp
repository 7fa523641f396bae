// Error codes, their Windows-1250 texts, the text buffer and the timing rules.
#include <gtest/gtest.h>

#include <set>

#include "core/ErrorCodes.h"
#include "core/ErrorTexts.h"
#include "LinkSettings.h"
#include "core/Cp1250.h"

TEST(ErrorTexts, EveryCodeHasItsOwnTextWithinBounds) {
  std::set<std::string> seen;
  for (int32_t code = 0; code <= dqerr::kLastCode; ++code) {
    const std::string& text = dqerr::Text(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_LE(text.size(), 99u) << code;
    EXPECT_TRUE(seen.insert(text).second) << "duplicate text for " << code;
  }
  EXPECT_EQ(dqerr::Text(dqerr::kOk), dqcore::Cp1250FromUtf8("V pořádku"));
  EXPECT_EQ(dqerr::Text(30), dqcore::Cp1250FromUtf8("Neznámá chyba (kód 30)"));
  EXPECT_EQ(dqerr::Text(60), dqcore::Cp1250FromUtf8("Modul hlásí chybu 20"));
  EXPECT_EQ(dqerr::Text(-1), dqerr::Text(100));
}

TEST(ErrorTexts, BufferOneCharacterPerWordNeverPastWord99) {
  uint32_t buffer[102];
  for (int32_t code : {0, 1, 22, 99, 100, -5}) {
    std::fill(std::begin(buffer), std::end(buffer), 0xDEADBEEFu);
    dqerr::FillTextBuffer(code, buffer);
    const std::string& text = dqerr::Text(code);
    for (size_t i = 0; i < text.size(); ++i) EXPECT_EQ(buffer[i], static_cast<uint8_t>(text[i]));
    for (size_t i = text.size(); i < 100; ++i) EXPECT_EQ(buffer[i], 0u);
    EXPECT_EQ(buffer[100], 0xDEADBEEFu);
    EXPECT_EQ(buffer[101], 0xDEADBEEFu);
  }
}

TEST(ErrorCodes, ModuleStatusMapping) {
  EXPECT_EQ(dqerr::FromModuleStatus(0), dqerr::kOk);
  EXPECT_EQ(dqerr::FromModuleStatus(1), dqerr::kModuleUnknownCommand);
  EXPECT_EQ(dqerr::FromModuleStatus(5), dqerr::kModuleBusy);
  EXPECT_EQ(dqerr::FromModuleStatus(58), 98);
  EXPECT_EQ(dqerr::FromModuleStatus(59), dqerr::kModuleStatusOther);
  EXPECT_EQ(dqerr::FromModuleStatus(255), dqerr::kModuleStatusOther);
  EXPECT_TRUE(dqerr::IsRetryable(dqerr::kCrc));
  EXPECT_FALSE(dqerr::IsRetryable(dqerr::kPortVanished));
  EXPECT_FALSE(dqerr::IsRetryable(dqerr::kModuleBusy));
}

TEST(Timing, WindowsFollowTheDocumentedFormulas) {
  dqbus::LinkSettings at9600 = dqbus::Clamped(9600, 13, 2);
  // 13 request bytes (13.542 ms) + 13 ms + 25 ms slack.
  EXPECT_EQ(dqbus::SerialFirstByteWindowMicros(at9600), 13542 + 13000 + 25000);
  EXPECT_EQ(dqbus::SerialRestWindowMicros(at9600, 10), 10417 + 20000);
  // LAN: the bus time of a request and the longest reply (or a status-only
  // one for a retry), timing, 20 ms; the UDP timeout bounds the exchange.
  EXPECT_EQ(dqbus::LanBusMinimumMicros(at9600), 89584 + 13000 + 20000);
  EXPECT_EQ(dqbus::LanRetryMinimumMicros(at9600), 22917 + 13000 + 20000);
  EXPECT_EQ(dqbus::LanExchangeBoundMicros(at9600, 0), dqbus::LanBusMinimumMicros(at9600));
  EXPECT_EQ(dqbus::LanExchangeBoundMicros(at9600, 500), 500000);
  dqbus::LinkSettings clamped = dqbus::Clamped(600, -4, 9);
  EXPECT_EQ(clamped.timingMs, 0);
  EXPECT_EQ(clamped.retries, 5);
  EXPECT_EQ(dqbus::Clamped(600, 99999, -1).timingMs, 5000);
  EXPECT_EQ(dqbus::Clamped(600, 99999, -1).retries, 0);
}
