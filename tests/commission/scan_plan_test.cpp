// The scan's pieces without a link: the lists it is given, the order of its
// probes, their floors against the drivers' own windows, and what a
// probe's library code says about the bus.
#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "LinkSettings.h"
#include "commission/Probe.h"
#include "commission/ScanLists.h"
#include "commission/ScanPlan.h"
#include "core/BaudRates.h"

namespace dqcommission {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ScanLists, RatesParseOrRefuseWithTheItem) {
  struct Row {
    const char* text;
    bool ok;
    Bytes expected;  // baud codes
  };
  const Row rows[] = {
      {"38400, 9600", true, {6, 4}},
      {"9600,14400", false, {}},
      {"", false, {}},
  };
  for (const Row& row : rows) {
    Bytes got;
    std::string error;
    bool ok = ParseRateList(row.text, got, error);
    EXPECT_EQ(ok, row.ok) << row.text;
    if (ok) {
      EXPECT_EQ(got, row.expected) << row.text;
    } else {
      EXPECT_NE(error.find('\''), std::string::npos) << row.text;  // names the item at fault
    }
  }
  EXPECT_EQ(AllAddresses().size(), 256u);
}

TEST(ScanPlan, RememberedThenFactoryThenRatesOutward) {
  struct Row {
    Bytes addresses, codes;
    std::optional<ScanSetting> remembered;
    std::vector<std::pair<int, int>> expected;  // address, baud code
  };
  const Row rows[] = {
      {{0, 1}, {3, 4, 5}, ScanSetting{1, 3}, {{1, 3}, {0, 4}, {1, 4}, {0, 5}, {1, 5}, {0, 3}}},
      {{0, 1}, {4}, ScanSetting{0, 4}, {{0, 4}, {1, 4}}},  // remembered = factory: once
      {{2, 1}, {0, 8, 4}, ScanSetting{9, 4}, {{2, 4}, {1, 4}, {2, 8}, {1, 8}, {2, 0}, {1, 0}}},  // not in the list
  };
  for (const Row& row : rows) {
    std::vector<std::pair<int, int>> got;
    for (const ScanProbe& probe : PlanScan(row.addresses, row.codes, row.remembered)) {
      got.emplace_back(probe.address, probe.baudCode);
    }
    EXPECT_EQ(got, row.expected);
  }
  EXPECT_EQ(RatesOutward(AllBaudCodes()), (Bytes{4, 5, 3, 6, 2, 7, 1, 8, 0}));
  EXPECT_EQ(PlanScan(AllAddresses(), AllBaudCodes(), std::nullopt).size(), 256u * 9u);
}

// The scan's floors are the windows the libraries keep to with no retry.
TEST(ScanPlan, FloorsAreTheDriversWindows) {
  for (uint8_t code = 0; code < dqcore::kBaudCodeCount; ++code) {
    dqbus::LinkSettings settings = dqbus::Clamped(dqcore::kBaudRates[code], dqcore::kBaudTimings[code], 0);
    EXPECT_EQ(ProbeFloorMicros(ScanLine::kSerial, code), dqbus::SerialFirstByteWindowMicros(settings));
    EXPECT_EQ(ProbeFloorMicros(ScanLine::kLan, code), dqbus::LanExchangeBoundMicros(settings, 0));
  }
}

TEST(ScanProbe, CodeTellsWhatAnswered) {
  const std::pair<int32_t, ProbeKind> rows[] = {
      {dqerr::kOk, ProbeKind::kModule},           {dqerr::kModuleBadSubcode, ProbeKind::kModule},
      {dqerr::kModuleStatusOther, ProbeKind::kModule}, {dqerr::kTimeout, ProbeKind::kSilent},
      {dqerr::kCrc, ProbeKind::kGarbled},         {dqerr::kForeignAddress, ProbeKind::kGarbled},
      {dqerr::kMalformed, ProbeKind::kGarbled},   {dqerr::kReplyTooLong, ProbeKind::kGarbled},
      {dqerr::kPortVanished, ProbeKind::kLinkFault}, {dqerr::kConnRefused, ProbeKind::kLinkFault},
      {100, ProbeKind::kLinkFault},
  };
  for (const auto& [code, kind] : rows) EXPECT_EQ(ClassifyProbeCode(code), kind) << code;
}

}  // namespace
}  // namespace dqcommission
