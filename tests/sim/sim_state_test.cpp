// The state file, and the simulator's use of it: configuration and clock
// survive a restart, and the time it was off becomes a power failure.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "Frames.h"
#include "LoopbackUdp.h"
#include "TempDir.h"
#include "SimTestUtil.h"
#include "sim/simulator/Simulator.h"
#include "sim/model/StateFile.h"

using dqsim::SimState;
using dqtest::RequestFrame;
using dqtest::Req;

namespace {

TEST(StateFileTest, FormatAndParseRoundTrip) {
  SimState state;
  state.lastRunning = 1767225600;
  dqsim::ModuleState m;
  m.registers = dqsim::ConfigRegisters(200, 7);
  m.registers.SetPulseNumber(2, 1000);
  m.registers.SetDinNegation(0x80000001);
  m.registers.SetDoutNegation(0x00FF0000);
  m.registers.SetDoutInitialState(0x0000A500);
  m.clockOffset = -7200;
  m.powerFail = {1767225000, 1767225600};
  state.modules = {m, dqsim::ModuleState{}};

  SimState back;
  std::string error;
  ASSERT_TRUE(dqsim::ParseState(dqsim::FormatState(state), back, &error)) << error;
  EXPECT_EQ(back.lastRunning, state.lastRunning);
  ASSERT_EQ(back.modules.size(), 2u);
  for (int reg = 0; reg < 64; ++reg) {
    EXPECT_EQ(back.modules[0].registers.Read(reg), m.registers.Read(reg)) << reg;
  }
  EXPECT_EQ(back.modules[0].clockOffset, -7200);
  EXPECT_EQ(back.modules[0].powerFail.start, 1767225000);
  EXPECT_EQ(back.modules[1].registers.PulseNumber(0), 1);
}

TEST(StateFileTest, BadContentIsRefusedWithTheLineAtFault) {
  struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "line 0: empty state file"},
      {"something else\n", "line 1: not a dq7184-sim state file of version 1"},
      {"dq7184-sim-state 2\n", "line 1: not a dq7184-sim state file of version 1"},
      {"dq7184-sim-state 1\naddress 3\n", "line 2: 'address' before the first 'module'"},
      {"dq7184-sim-state 1\nmodule\nbaud-code 9\n", "line 3: baud-code must be 0-8"},
      {"dq7184-sim-state 1\nmodule\naddress 256\n", "line 3: address must be 0-255"},
      {"dq7184-sim-state 1\n# note\nmodule\ndin-negation 0x1FFFFFFFF\n", "line 4: din-negation must be a 32-bit mask"},
      {"dq7184-sim-state 1\nmodule\npulse-numbers 1 2 3\n", "line 3: pulse-numbers takes four values"},
      {"dq7184-sim-state 1\nmodule\ncolour blue\n", "line 3: unknown key 'colour'"},
      {"dq7184-sim-state 1\nlast-running -5\n", "line 2: bad last-running"},
  };
  for (const auto& c : cases) {
    SimState state;
    std::string error;
    EXPECT_FALSE(dqsim::ParseState(c.text, state, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

class SimStateTest : public ::testing::Test {
 protected:
  dqsim::SimOptions Options() {
    dqsim::SimOptions o;
    o.pty = false;
    o.udp = false;
    o.inputPattern = false;
    o.statePath = dir_.File("state");
    return o;
  }
  dqtest::TempDir dir_;
  dqsim::ManualTime time_;
};

TEST_F(SimStateTest, TimeOffSinceLastRunIsRecordedAsAPowerFailure) {
  time_.SetPcSeconds(1767261600);  // 2026-01-01 10:00:00
  time_.SetLocalOffset(3600);      // local time one hour ahead of UTC
  dqtest::WriteFile(dir_.File("state"),
                     "dq7184-sim-state 1\nlast-running 1767254400\n"  // 08:00:00 UTC
                     "module\naddress 9\nclock-offset 120\n");
  dqsim::Simulator sim(Options(), &time_);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  dqsim::ModuleSnapshot s = sim.Snapshot(0);
  EXPECT_EQ(s.address, 9);
  EXPECT_EQ(s.powerFail.start, 1767254400 + 3600 + 120);
  EXPECT_EQ(s.powerFail.end, 1767261600 + 3600 + 120);
  EXPECT_EQ(s.status, (1u << dqsim::kStatusPwr) | (1u << dqsim::kStatusPrf));
  // As the clock window reads it: 09:02:00 on the module's clock.
  auto reply = sim.Process(RequestFrame(Req(9, 100, 3)).data(), dqbus::kRequestSize, 4);
  auto decoded = dqbus::DecodeReply(reply.data(), reply.size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->data, (std::vector<uint8_t>{0, 2, 9, 0}));
}

TEST_F(SimStateTest, FirstRunWithoutAStateFileRecordsNoPowerFailure) {
  dqsim::Simulator sim(Options(), &time_);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  dqsim::ModuleSnapshot s = sim.Snapshot(0);
  EXPECT_EQ(s.powerFail.start, 0);
  EXPECT_EQ(s.status, 1u << dqsim::kStatusPwr);
  SimState saved;  // and the file now exists
  bool missing = true;
  ASSERT_TRUE(dqsim::LoadStateFile(dir_.File("state"), saved, missing, &error)) << error;
  EXPECT_EQ(saved.lastRunning, time_.PcSeconds());
}

TEST_F(SimStateTest, RegistersAndClockSurviveARestartOfTheSimulator) {
  {
    dqsim::Simulator sim(Options(), &time_);
    std::string error;
    ASSERT_TRUE(sim.Open(&error)) << error;
    sim.Process(RequestFrame(Req(0, 103, 0, {0, 0x3F, 0x3F, 42, 42})).data(), dqbus::kRequestSize, 4);
    sim.Process(RequestFrame(Req(0, 103, 0, {0, 0x24, 0x24, 0x81, 0x81})).data(), dqbus::kRequestSize, 4);
    sim.Process(RequestFrame(Req(0, 101, 1, {0, 0, 0, 23, 0})).data(), dqbus::kRequestSize, 4);
  }  // closing saves
  time_.AdvanceMicros(5 * 1000000);
  dqsim::Simulator sim(Options(), &time_);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  dqsim::ModuleSnapshot s = sim.Snapshot(0);
  EXPECT_EQ(s.address, 42);  // the new address is active after the power-up
  EXPECT_EQ(s.registers[0x24], 0x81);
  EXPECT_EQ(dqsim::FieldsOf(s.clock).hour, 23);
  EXPECT_EQ(s.powerFail.end - s.powerFail.start, 5);
}

TEST_F(SimStateTest, BrokenStateFileStopsTheStartAndIsLeftAlone) {
  const std::string content = "dq7184-sim-state 1\nmodule\naddress x\n";
  dqtest::WriteFile(dir_.File("state"), content);
  dqsim::Simulator sim(Options(), &time_);
  std::string error;
  EXPECT_FALSE(sim.Open(&error));
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
  EXPECT_EQ(dqtest::ReadFile(dir_.File("state")), content);
}

TEST_F(SimStateTest, FailedStartLeavesTheStateFileAsItWas) {
  const std::string content = "dq7184-sim-state 1\nlast-running 1767225000\nmodule\naddress 4\n";
  dqtest::WriteFile(dir_.File("state"), content);
  uint16_t port = 0;
  const int busy = dqtest::BindLoopbackUdp(port);  // holds the UDP port
  ASSERT_GE(busy, 0);
  dqsim::SimOptions o = Options();
  o.udp = true;
  o.udpPort = port;
  dqsim::Simulator sim(o, &time_);
  std::string error;
  EXPECT_FALSE(sim.Open(&error));
  EXPECT_NE(error.find("cannot bind UDP"), std::string::npos) << error;
  sim.Close();
  EXPECT_EQ(dqtest::ReadFile(dir_.File("state")), content);  // the power failure is still to be recorded
  close(busy);
}

TEST_F(SimStateTest, SavingLeavesNoTemporaryFiles) {
  dqsim::Simulator sim(Options(), &time_);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  ASSERT_TRUE(sim.SaveState(&error)) << error;
  std::vector<std::string> names;
  DIR* d = opendir(dir_.Path().c_str());
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  }
  closedir(d);
  EXPECT_EQ(names, std::vector<std::string>{"state"});
}

TEST_F(SimStateTest, ModulesOfTheStateFileComeBeforeAddressesOfTheOptions) {
  dqtest::WriteFile(dir_.File("state"), "dq7184-sim-state 1\nmodule\naddress 30\nbaud-code 8\n");
  dqsim::SimOptions o = Options();
  o.addresses = {1, 2};
  dqsim::Simulator sim(o, &time_);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  ASSERT_EQ(sim.ModuleCount(), 2u);
  EXPECT_EQ(sim.Snapshot(0).address, 30);
  EXPECT_EQ(sim.Snapshot(0).baudCode, 8);
  EXPECT_EQ(sim.Snapshot(1).address, 2);
}

// ---- the bus in front of the modules ---------------------------------------------

TEST(SimBusTest, OnlyTheAddressedModuleAtItsOwnRateAnswers) {
  dqsim::ManualTime time;
  dqsim::SimOptions o;
  o.pty = false;
  o.udp = false;
  o.addresses = {3, 4};
  dqsim::Simulator sim(o, &time);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  auto ask = [&](uint8_t address, int baud) {
    return sim.Process(RequestFrame(Req(address, 200, 0)).data(), dqbus::kRequestSize, baud);
  };
  auto reply = ask(4, 4);
  auto decoded = dqbus::DecodeReply(reply.data(), reply.size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->address, 4);
  EXPECT_TRUE(ask(5, 4).empty());    // nobody there
  EXPECT_TRUE(ask(0, 4).empty());    // no broadcast
  EXPECT_TRUE(ask(3, 5).empty());    // 19200 Bd: the module runs at 9600
  EXPECT_TRUE(ask(3, -1).empty());   // not one of the nine rates
  dqsim::SimStats stats = sim.Stats();
  EXPECT_EQ(stats.requests, 5u);
  EXPECT_EQ(stats.answered, 1u);
  EXPECT_EQ(stats.otherAddress, 2u);
  EXPECT_EQ(stats.wrongBaud, 2u);
}

TEST(SimBusTest, NewBaudCodeIsHeardOnlyAfterARestart) {
  dqsim::ManualTime time;
  dqsim::SimOptions o;
  o.pty = false;
  o.udp = false;
  dqsim::Simulator sim(o, &time);
  std::string error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  auto frame = RequestFrame(Req(0, 103, 0, {0, 0x3E, 0x3E, 7, 7}));
  ASSERT_FALSE(sim.Process(frame.data(), frame.size(), 4).empty());
  auto probe = RequestFrame(Req(0, 200, 2));
  EXPECT_FALSE(sim.Process(probe.data(), probe.size(), 4).empty());
  EXPECT_TRUE(sim.Process(probe.data(), probe.size(), 7).empty());
  sim.Restart(0);
  EXPECT_TRUE(sim.Process(probe.data(), probe.size(), 4).empty());
  EXPECT_FALSE(sim.Process(probe.data(), probe.size(), 7).empty());
}

}  // namespace
