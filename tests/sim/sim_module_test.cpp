// The module model, command by command, on a hand-stepped clock.
#include <gtest/gtest.h>

#include "sim/model/Module.h"
#include "Frames.h"
#include "SimTestUtil.h"
#include "core/ModuleCommands.h"

using dqbus::Reply;
using dqsim::ConfigRegisters;
using dqsim::Module;
using dqtest::Req;

namespace {

constexpr uint8_t kAddr = 5;
using Bytes = std::vector<uint8_t>;

class ModuleTest : public ::testing::Test {
 protected:
  ModuleTest() : module_(ConfigRegisters(kAddr), dqsim::ModuleIdentity{}, time_, false) { module_.PowerUp(); }
  Reply Exec(uint8_t command, uint8_t subcode, std::array<uint8_t, 5> params = {}) {
    return module_.Execute(Req(kAddr, command, subcode, params));
  }
  static std::string Text(const Reply& r) { return std::string(r.data.begin(), r.data.end()); }
  // Writes a register over the bus the way the configuration windows do.
  uint8_t WriteReg(uint8_t reg, uint8_t value) { return Exec(103, 0, {0, reg, reg, value, value}).status; }
  uint8_t ReadReg(uint8_t reg) {
    Reply r = Exec(102, 0, {0, reg, reg, 0, 0});
    EXPECT_EQ(r.status, dqbus::msOk);
    return r.data.size() == 4 ? r.data[2] : 0xEE;
  }
  void WriteMask(uint8_t base, uint32_t mask) {
    for (int j = 0; j < 4; ++j) ASSERT_EQ(WriteReg(static_cast<uint8_t>(base + 3 * j), mask >> (8 * j) & 0xFF), 0);
  }

  dqsim::ManualTime time_;
  Module module_;
};

TEST_F(ModuleTest, IdentificationGivesModelAndVersionInFourCharacterPieces) {
  EXPECT_EQ(Text(Exec(200, 0)), "DQ71");
  EXPECT_EQ(Text(Exec(200, 1, {4, 0, 0, 0, 0})), "84/9");  // b3 carries the previous count
  EXPECT_EQ(Text(Exec(200, 2, {4, 0, 0, 0, 0})), "1.03");
  EXPECT_EQ(Exec(200, 3).status, dqbus::msBadSubcode);

  dqsim::ModuleIdentity custom{"XY12", "2"};
  Module other(ConfigRegisters(1), custom, time_);
  other.PowerUp();
  EXPECT_EQ(Text(other.Execute(Req(1, 200, 0))), "XY12");
  EXPECT_EQ(Text(other.Execute(Req(1, 200, 1))), "    ");
  EXPECT_EQ(Text(other.Execute(Req(1, 200, 2))), "2   ");
}

TEST_F(ModuleTest, RepliesEchoCommandAndCarryTheActiveAddress) {
  Reply r = Exec(200, 0);
  EXPECT_EQ(r.address, kAddr);
  EXPECT_EQ(r.command, 200);
  EXPECT_EQ(r.status, dqbus::msOk);
}

TEST_F(ModuleTest, UnknownCommandsAndSubcodesGetAStatusWithoutData) {
  for (uint8_t command : {2, 99, 104, 201, 203, 255}) {
    Reply r = Exec(command, 0);
    EXPECT_EQ(r.status, dqbus::msUnknownCommand) << int(command);
    EXPECT_TRUE(r.data.empty());
  }
  struct {
    uint8_t command, subcode;
  } bad[] = {{0, 0}, {0, 65}, {1, 0}, {1, 114}, {100, 7}, {101, 3}, {102, 1}, {103, 1}, {202, 8}};
  for (auto b : bad) {
    Reply r = Exec(b.command, b.subcode);
    EXPECT_EQ(r.status, dqbus::msBadSubcode) << int(b.command) << "/" << int(b.subcode);
    EXPECT_TRUE(r.data.empty());
  }
}

TEST_F(ModuleTest, InputsAreReportedWithTheirNegation) {
  module_.SetPhysicalInputs(0x12345678);
  EXPECT_EQ(Exec(0, 64).data, (Bytes{0x78, 0x56, 0x34, 0x12}));
  WriteMask(dqcmd::kRegDinNegationBase, 0x000000FF);
  EXPECT_EQ(Exec(0, 64).data, (Bytes{0x87, 0x56, 0x34, 0x12}));
}

TEST_F(ModuleTest, InputPatternMovesWithTimeAndStopsWhenInputsAreSet) {
  module_.SetInputPattern(true);
  Bytes first = Exec(0, 64).data;
  time_.AdvanceMicros(700000);
  EXPECT_NE(Exec(0, 64).data, first);
  module_.SetPhysicalInputs(0);
  time_.AdvanceMicros(700000);
  EXPECT_EQ(Exec(0, 64).data, (Bytes{0, 0, 0, 0}));
  EXPECT_FALSE(module_.InputPatternOn());
}

TEST_F(ModuleTest, CountersRunAfterPowerUpAndStartStopNeedsAllFourBytes) {
  EXPECT_EQ(Exec(0, 112).data, (Bytes{255, 255, 255, 255}));
  EXPECT_EQ(Exec(1, 112, {0, 0, 0, 0, 0}).status, dqbus::msOk);
  EXPECT_EQ(Exec(0, 112).data, (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Exec(1, 112, {0, 255, 255, 255, 0}).status, dqbus::msBadValue);
  EXPECT_FALSE(module_.CountersRunning());
  EXPECT_EQ(Exec(1, 112, {0, 255, 255, 255, 255}).status, dqbus::msOk);
  EXPECT_TRUE(module_.CountersRunning());
  EXPECT_TRUE(Exec(1, 112, {0, 255, 255, 255, 255}).data.empty());
}

TEST_F(ModuleTest, CounterCountsRisingEdgesOfItsInputOnlyWhileRunning) {
  module_.SetPhysicalInputs(0);
  module_.SetPhysicalInputs(1u << 9);
  module_.SetPhysicalInputs(0);  // a falling edge does not count
  module_.SetPhysicalInputs(1u << 9);
  EXPECT_EQ(module_.Counter(9), 2u);
  Exec(1, 112, {0, 0, 0, 0, 0});
  module_.Pulse(9, 5);
  EXPECT_EQ(module_.Counter(9), 2u);
  Exec(1, 112, {0, 255, 255, 255, 255});
  module_.Pulse(9, 5);
  EXPECT_EQ(module_.Counter(9), 7u);
}

TEST_F(ModuleTest, NegatedInputCountsRisingEdgesOfTheReportedValue) {
  WriteMask(dqcmd::kRegDinNegationBase, 1u << 4);
  module_.SetPhysicalInputs(1u << 4);  // reported 1 -> 0
  EXPECT_EQ(module_.Counter(4), 0u);
  module_.SetPhysicalInputs(0);  // reported 0 -> 1
  EXPECT_EQ(module_.Counter(4), 1u);
}

TEST_F(ModuleTest, PulseNumbersScaleCountersZeroToThreeOnly) {
  ASSERT_EQ(WriteReg(0, 3), 0);  // counter 0: one count per 3 pulses
  ASSERT_EQ(WriteReg(6, 0xE8), 0);
  ASSERT_EQ(WriteReg(7, 0x03), 0);  // counter 3: 1000
  module_.Pulse(0, 7);
  module_.Pulse(3, 1999);
  module_.Pulse(4, 7);
  EXPECT_EQ(module_.Counter(0), 2u);
  EXPECT_EQ(module_.Counter(3), 1u);
  EXPECT_EQ(module_.Counter(4), 7u);
  module_.Pulse(0, 2);  // the remainder of 7 / 3 carries over
  EXPECT_EQ(module_.Counter(0), 3u);
  ASSERT_EQ(WriteReg(2, 0), 0);  // pulse number 0 counts every pulse
  module_.Pulse(1, 4);
  EXPECT_EQ(module_.Counter(1), 4u);
}

TEST_F(ModuleTest, GroupsCarryFourCountersLeastSignificantByteFirst) {
  module_.Pulse(12, 0x0102);
  module_.Pulse(15, 3);
  Reply r = Exec(202, 3);
  ASSERT_EQ(r.data.size(), 16u);
  EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + 4), (Bytes{0x02, 0x01, 0, 0}));
  EXPECT_EQ(Bytes(r.data.begin() + 12, r.data.end()), (Bytes{3, 0, 0, 0}));
  EXPECT_EQ(Exec(202, 7).data, Bytes(16, 0));
}

TEST_F(ModuleTest, ClearNeedsAllFourBytes255AndResetsEveryCounter) {
  module_.Pulse(0, 1);
  module_.Pulse(31, 9);
  EXPECT_EQ(Exec(1, 113, {0, 255, 255, 0, 255}).status, dqbus::msBadValue);
  EXPECT_EQ(module_.Counter(31), 9u);
  EXPECT_EQ(Exec(1, 113, {0, 255, 255, 255, 255}).status, dqbus::msOk);
  EXPECT_EQ(module_.Counter(0), 0u);
  EXPECT_EQ(module_.Counter(31), 0u);
}

TEST_F(ModuleTest, CountingFollowsTheInputPattern) {
  module_.SetInputPattern(true);
  time_.AdvanceMicros(1000000);  // ten steps: DIN0 rises at steps 1, 3, 5, 7, 9
  EXPECT_EQ(Exec(202, 0).data[0], 5);
}

TEST_F(ModuleTest, OutputsApplyNegationAndTakeInitialStatesAtPowerUp) {
  EXPECT_EQ(Exec(1, 64, {0, 0x01, 0x02, 0x00, 0x80}).status, dqbus::msOk);
  EXPECT_EQ(module_.Outputs(), 0x80000201u);
  WriteMask(dqcmd::kRegDoutNegationBase, 0x000000FF);
  EXPECT_EQ(module_.PhysicalOutputs(), 0x800002FEu);
  WriteMask(dqcmd::kRegDoutInitialBase, 0x0000F000);
  EXPECT_EQ(module_.Outputs(), 0x80000201u);  // only at the next power-up
  module_.Restart();
  EXPECT_EQ(module_.Outputs(), 0x0000F000u);
  EXPECT_EQ(module_.PhysicalOutputs(), 0x0000F0FFu);
}

TEST_F(ModuleTest, RegistersReadBackAsRegisterTwiceAndValueTwice) {
  for (uint8_t reg : {0, 7, 0x20, 0x2B, 0x3F}) {
    ASSERT_EQ(WriteReg(reg, 0x5C), dqbus::msOk) << int(reg);
    Reply r = Exec(102, 0, {0, reg, reg, 0x5C, 0x5C});  // the read-back of the counter window
    EXPECT_EQ(r.data, (Bytes{reg, reg, 0x5C, 0x5C}));
  }
  EXPECT_EQ(module_.Registers().PulseNumber(0), 0x005C);
  EXPECT_EQ(module_.Registers().PulseNumber(3), 0x5C01);  // low byte still the factory 1
}

TEST_F(ModuleTest, RegistersOutsideTheMapAreRefused) {
  for (uint8_t reg : {8, 0x1F, 0x2C, 0x3D, 0x40, 0xFF}) {
    EXPECT_EQ(WriteReg(reg, 1), dqbus::msBadRegister) << int(reg);
    EXPECT_EQ(Exec(102, 0, {0, reg, reg, 0, 0}).status, dqbus::msBadRegister) << int(reg);
  }
}

TEST_F(ModuleTest, DisagreeingCopiesAndBadBaudCodesAreRefusedAndChangeNothing) {
  EXPECT_EQ(Exec(103, 0, {0, 0x21, 0x24, 1, 1}).status, dqbus::msBadRegister);
  EXPECT_EQ(Exec(102, 0, {0, 0x21, 0x24, 0, 0}).status, dqbus::msBadRegister);
  EXPECT_EQ(Exec(103, 0, {0, 0x21, 0x21, 1, 2}).status, dqbus::msBadValue);
  EXPECT_EQ(ReadReg(0x21), 0);
  EXPECT_EQ(WriteReg(dqcmd::kRegBaudCode, 9), dqbus::msBadValue);
  EXPECT_EQ(ReadReg(dqcmd::kRegBaudCode), 4);
  EXPECT_EQ(WriteReg(dqcmd::kRegBaudCode, 8), dqbus::msOk);
  EXPECT_EQ(ReadReg(dqcmd::kRegBaudCode), 8);
}

TEST_F(ModuleTest, NewAddressAndBaudCodeTakeEffectAtTheNextPowerUp) {
  ASSERT_EQ(WriteReg(dqcmd::kRegAddress, 77), dqbus::msOk);
  ASSERT_EQ(WriteReg(dqcmd::kRegBaudCode, 6), dqbus::msOk);
  EXPECT_EQ(module_.ActiveAddress(), kAddr);
  EXPECT_EQ(module_.ActiveBaudCode(), 4);
  EXPECT_EQ(ReadReg(dqcmd::kRegAddress), 77);  // the read-back shows the new value at once
  module_.Restart();
  EXPECT_EQ(module_.ActiveAddress(), 77);
  EXPECT_EQ(module_.ActiveBaudCode(), 6);
  EXPECT_EQ(module_.Execute(Req(77, 200, 0)).address, 77);
  EXPECT_TRUE(module_.StatusRegister() & (1u << dqsim::kStatusRst));
}

TEST_F(ModuleTest, StatusRegisterBitsFollowTheirEvents) {
  auto status = [&] {
    Reply r = Exec(100, 0);
    return static_cast<uint32_t>(r.data[0] | r.data[1] << 8 | r.data[2] << 16 | uint32_t{r.data[3]} << 24);
  };
  EXPECT_EQ(status(), 1u << dqsim::kStatusPwr);
  EXPECT_EQ(Exec(101, 0).status, dqbus::msOk);
  EXPECT_EQ(status(), 0u);

  module_.Restart();  // power cycle: PWR and a recorded power failure
  EXPECT_EQ(status(), (1u << dqsim::kStatusPwr) | (1u << dqsim::kStatusPrf));
  module_.Reset();  // no power loss
  EXPECT_EQ(status(), 1u << dqsim::kStatusRst);

  module_.SetCondition(dqsim::kStatusErr24, true);
  Exec(101, 0);
  EXPECT_EQ(status(), 1u << dqsim::kStatusErr24);  // the fault lasts
  module_.SetCondition(dqsim::kStatusErr24, false);
  EXPECT_EQ(status(), 1u << dqsim::kStatusErr24);  // latched
  Exec(101, 0);
  EXPECT_EQ(status(), 0u);

  module_.SetStatusBits(0x80000102);
  EXPECT_EQ(Exec(100, 0).data, (Bytes{0x02, 0x01, 0x00, 0x80}));
}

TEST_F(ModuleTest, ClockIsSetAndReadAsPlainNumbers) {
  time_.SetPcSeconds(1767225600);  // 2026-01-01 00:00:00
  EXPECT_EQ(Exec(101, 1, {0, 15, 30, 6, 0}).status, dqbus::msOk);
  EXPECT_EQ(Exec(101, 2, {0, 7, 12, 2, 0}).status, dqbus::msOk);
  EXPECT_EQ(Exec(100, 1).data, (Bytes{15, 30, 6, 0}));
  EXPECT_EQ(Exec(100, 2).data, (Bytes{7, 12, 2, 0}));
  time_.AdvanceMicros(50 * 1000000);
  EXPECT_EQ(Exec(100, 1).data, (Bytes{5, 31, 6, 0}));
  dqsim::ClockFields f = dqsim::FieldsOf(module_.Clock().Now());
  EXPECT_EQ(f.year, 2026);  // the PC's cycle 2024-2027, year 2 of it
}

TEST_F(ModuleTest, ClockRefusesValuesOutOfRange) {
  int64_t offset = module_.Clock().Offset();
  struct {
    uint8_t sub, a, b, c;
  } bad[] = {{1, 60, 0, 0}, {1, 0, 60, 0}, {1, 0, 0, 24}, {2, 0, 1, 0},  {2, 32, 1, 0},
             {2, 1, 0, 0},  {2, 1, 13, 0}, {2, 1, 1, 4},  {2, 31, 4, 0}, {2, 29, 2, 1}};
  for (auto v : bad) {
    EXPECT_EQ(Exec(101, v.sub, {0, v.a, v.b, v.c, 0}).status, dqbus::msBadValue)
        << int(v.sub) << ": " << int(v.a) << " " << int(v.b) << " " << int(v.c);
  }
  EXPECT_EQ(module_.Clock().Offset(), offset);
  EXPECT_EQ(Exec(101, 2, {0, 29, 2, 0, 0}).status, dqbus::msOk);  // year 0 of the cycle is a leap year
  EXPECT_EQ(Exec(100, 2).data, (Bytes{29, 2, 0, 0}));
}

// 101/2: day 1 up to the days of the month, month 1-12, year within the
// cycle 0-3; February has 29 days in year 0 of the cycle only. b7 is not
// looked at.
TEST_F(ModuleTest, DateIsTakenOnlyForADayTheMonthHas) {
  time_.SetPcSeconds(1767225600);  // 2026: the cycle 2024-2027
  struct Case {
    uint8_t day, month, year, b7;
    bool taken;
  };
  const Case cases[] = {
      {1, 1, 1, 0, true},    {31, 1, 1, 0, true},   {32, 1, 1, 0, false}, {0, 1, 1, 0, false},
      {28, 2, 1, 0, true},   {29, 2, 1, 0, false},  {29, 2, 3, 0, false}, {29, 2, 0, 0, true},
      {30, 2, 0, 0, false},  {31, 3, 2, 0, true},   {30, 4, 2, 0, true},  {31, 4, 2, 0, false},
      {31, 5, 2, 0, true},   {31, 6, 2, 0, false},  {31, 7, 2, 0, true},  {31, 8, 2, 0, true},
      {31, 9, 2, 0, false},  {31, 10, 2, 0, true},  {31, 11, 2, 0, false}, {31, 12, 3, 0, true},
      {1, 0, 1, 0, false},   {1, 13, 1, 0, false},  {1, 1, 4, 0, false},  {15, 6, 3, 0x99, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.day) + "." + std::to_string(c.month) + ". year " + std::to_string(c.year));
    ASSERT_EQ(Exec(101, 2, {0, 1, 1, 0, 0}).status, dqbus::msOk);
    EXPECT_EQ(Exec(101, 2, {0, c.day, c.month, c.year, c.b7}).status, c.taken ? dqbus::msOk : dqbus::msBadValue);
    EXPECT_EQ(Exec(100, 2).data, c.taken ? (Bytes{c.day, c.month, c.year, 0}) : (Bytes{1, 1, 0, 0}));
  }
}

// What a module reports right after its first power-up from the factory.
TEST_F(ModuleTest, FactoryPowerUpState) {
  struct Case {
    const char* name;
    uint8_t command, subcode;
    std::array<uint8_t, 5> params;
    Bytes data;
  };
  const Case cases[] = {
      {"counters running", 0, 112, {}, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"counters 0-3 at 0", 202, 0, {}, Bytes(16, 0)},
      {"counters 28-31 at 0", 202, 7, {}, Bytes(16, 0)},
      {"status register: PWR only", 100, 0, {}, {1u << dqsim::kStatusPwr, 0, 0, 0}},
      {"no power failure recorded (start)", 100, 3, {}, {0, 0, 0, 0}},
      {"no power failure recorded (end date)", 100, 6, {}, {0, 0, 0, 0}},
      {"pulse number of counter 0: 1", 102, 0, {0, 0, 0, 0, 0}, {0, 0, 1, 1}},
      {"pulse number of counter 3, high byte: 0", 102, 0, {0, 7, 7, 0, 0}, {7, 7, 0, 0}},
      {"initial outputs off", 102, 0, {0, 0x20, 0x20, 0, 0}, {0x20, 0x20, 0, 0}},
      {"no input negation", 102, 0, {0, 0x2A, 0x2A, 0, 0}, {0x2A, 0x2A, 0, 0}},
      {"no output negation", 102, 0, {0, 0x2B, 0x2B, 0, 0}, {0x2B, 0x2B, 0, 0}},
      {"baud code 4", 102, 0, {0, 0x3E, 0x3E, 0, 0}, {0x3E, 0x3E, 4, 4}},
      {"its address", 102, 0, {0, 0x3F, 0x3F, 0, 0}, {0x3F, 0x3F, kAddr, kAddr}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reply r = Exec(c.command, c.subcode, c.params);
    EXPECT_EQ(r.status, dqbus::msOk);
    EXPECT_EQ(r.data, c.data);
  }
  EXPECT_EQ(module_.Outputs(), 0u);
}

TEST_F(ModuleTest, YearWithinTheCycleIsTheYearModFour) {
  time_.SetPcSeconds(1861920000);  // 2029-01-01: cycle 2028-2031
  for (uint8_t y = 0; y < 4; ++y) {
    ASSERT_EQ(Exec(101, 2, {0, 1, 3, y, 0}).status, dqbus::msOk);
    EXPECT_EQ(Exec(100, 2).data[2], y);
    EXPECT_EQ(dqsim::FieldsOf(module_.Clock().Now()).year, 2028 + y);
  }
}

TEST_F(ModuleTest, PowerFailureRecordGivesStartAndEnd) {
  EXPECT_EQ(Exec(100, 3).data, (Bytes{0, 0, 0, 0}));  // nothing recorded yet
  time_.SetPcSeconds(1767225600 + 10 * 3600);        // 2026-01-01 10:00:00
  module_.Restart(3600 + 61);
  EXPECT_EQ(Exec(100, 3).data, (Bytes{59, 58, 8, 0}));
  EXPECT_EQ(Exec(100, 4).data, (Bytes{1, 1, 2, 0}));
  EXPECT_EQ(Exec(100, 5).data, (Bytes{0, 0, 10, 0}));
  EXPECT_EQ(Exec(100, 6).data, (Bytes{1, 1, 2, 0}));
}

}  // namespace
