// The control socket and its line protocol, the ctl client and the
// command line.
#include <gtest/gtest.h>
#include <initializer_list>
#include <sstream>
#include <utility>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/simulator/CommandLine.h"
#include "sim/control/CtlClient.h"
#include "Frames.h"
#include "TempDir.h"
#include "SimTestUtil.h"
#include "sim/simulator/Simulator.h"

namespace {

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dqsim::SimOptions o;
    o.pty = false;
    o.udpPort = 0;
    o.inputPattern = false;
    o.addresses = {0, 12};
    o.controlPath = dir_.File("ctl.sock");
    sim_ = std::make_unique<dqsim::Simulator>(o);
    std::string error;
    ASSERT_TRUE(sim_->Open(&error)) << error;
    sim_->StartThread();
  }
  void TearDown() override { sim_->StopThread(); }

  // One command over the socket, as the ctl client sends it.
  std::string Ctl(const std::string& line) {
    std::string answer, error;
    EXPECT_TRUE(dqsim::SendControlLine(dir_.File("ctl.sock"), line, answer, error)) << error;
    return answer;
  }
  // Commands sent in turn, each with the answer it must get.
  void ExpectAnswers(std::initializer_list<std::pair<const char*, const char*>> script) {
    for (const auto& [line, answer] : script) EXPECT_EQ(Ctl(line), answer) << line;
  }

  dqtest::TempDir dir_;
  std::unique_ptr<dqsim::Simulator> sim_;
};

TEST_F(ControlTest, InputsOutputsAndCounters) {
  ExpectAnswers({
      {"inputs", "0x00000000 physical 0x00000000 pattern off\nok\n"},  // still, without the pattern
      {"inputs set 0x00000301", "ok\n"},
      {"inputs", "0x00000301 physical 0x00000301 pattern off\nok\n"},
      {"reg 0x21 0x01", "ok\n"},  // negate DIN0
      {"inputs", "0x00000300 physical 0x00000301 pattern off\nok\n"},
      {"pulse 2 3", "ok\n"},
  });
  EXPECT_EQ(Ctl("counters").substr(0, 16), "running 1 0 3 0 ");  // DIN0 rose when set
  EXPECT_EQ(Ctl("reg 0x22 0x80"), "ok\n");
  sim_->Process(dqtest::RequestFrame(dqtest::Req(0, 1, 64, {0, 0x81, 0, 0, 0})).data(), dqbus::kRequestSize, 4);
  EXPECT_EQ(Ctl("outputs"), "0x00000081 physical 0x00000001\nok\n");
}

TEST_F(ControlTest, RegistersStatusAndConditions) {
  ExpectAnswers({
      {"reg 0x3e", "4\nok\n"},
      {"reg 0x3e 9", "error: refused with module status 4\n"},
      {"reg 0x40", "error: no register 0x40\n"},
      {"reg 0x3f 300", "error: reg [@A] R [V] (bytes)\n"},
      {"status", "0x00000010 PWR\nok\n"},
      {"status clear", "ok\n"},
      {"condition err24 on", "ok\n"},
      {"status set 0x2", "ok\n"},
      {"status", "0x00000042 FN ERR24\nok\n"},
      {"condition ERR24 off", "ok\n"},
      {"status clear 0x40", "ok\n"},
      {"status", "0x00000002 FN\nok\n"},
      {"condition volts on", "error: condition fn or err24\n"},
  });
}

TEST_F(ControlTest, ModuleSelectorAndRestart) {
  ExpectAnswers({
      {"reg @12 0x3f 13", "ok\n"},
      {"reg @12 0x3f", "13\nok\n"},
      {"reg 0x3f", "0\nok\n"},  // the first module
      {"reg @012 0x3f", "13\nok\n"},  // a leading zero is decimal
      {"status @13", "error: no module answers at address 13\n"},
      {"restart @12 60", "ok\n"},
      {"status @13", "0x00000034 PRF PWR RST\nok\n"},
      {"status", "0x00000010 PWR\nok\n"},  // module 0 was not restarted
      {"reset", "ok\n"},
      {"status", "0x00000020 RST\nok\n"},
      {"status @x", "error: @ wants a module address 0-255\n"},
  });
  std::string clock = Ctl("clock @13");
  EXPECT_NE(clock.find("power-fail 20"), std::string::npos) << clock;
}

TEST_F(ControlTest, FaultCommands) {
  ExpectAnswers({
      {"fault delay", "error: fault delay MS\n"},
      {"fault bogus", "error: fault KIND [ARG] [next N|always]; try help\n"},
      {"fault wrong-address 256", "error: the argument of wrong-address is a byte\n"},
      {"fault silence 3", "error: fault silence: unexpected '3'\n"},
      {"fault delay 20 always", "ok\n"},
      {"fault corrupt-crc next 3", "ok\n"},
      {"drop 2", "ok\n"},
      {"faults", "delay 20 always\ncorrupt-crc next 3\nsilence next 2\nok\n"},
      {"fault clear delay", "ok\n"},
      {"faults", "corrupt-crc next 3\nsilence next 2\nok\n"},
      {"fault clear", "ok\n"},
      {"faults", "ok\n"},
      {"drop 0", "error: drop N (N at least 1)\n"},
  });
}

TEST_F(ControlTest, ShowHelpStatsAndUnknownCommands) {
  std::string show = Ctl("show");
  EXPECT_NE(show.find("module 0: address 0, baud code 4 (9600 Bd)"), std::string::npos) << show;
  EXPECT_NE(show.find("module 1: address 12"), std::string::npos) << show;
  EXPECT_NE(show.find("faults: none\nok\n"), std::string::npos) << show;
  EXPECT_NE(Ctl("help").find("disappear [pty|serial|udp|all]"), std::string::npos);
  EXPECT_EQ(Ctl("stats").substr(0, 11), "requests 0 ");
  EXPECT_EQ(Ctl("frobnicate"), "error: unknown command 'frobnicate'; try help\n");
  EXPECT_EQ(Ctl(""), "error: empty command; try help\n");
  EXPECT_EQ(Ctl("save"), "error: no state file given\n");
  EXPECT_NE(Ctl("ports").find("udp "), std::string::npos);
}

TEST_F(ControlTest, SeveralCommandsOnOneConnectionAndQuit) {
  std::istringstream in("inputs set 5\n\ninputs\nbogus\nquit\ninputs\n");
  std::ostringstream out, err;
  // The command after "quit" finds the connection closed.
  EXPECT_EQ(dqsim::RunCtl(dir_.File("ctl.sock"), {}, in, out, err), 2);
  EXPECT_EQ(out.str(), "0x00000005 physical 0x00000005 pattern off\n");
  EXPECT_NE(err.str().find("error: unknown command 'bogus'"), std::string::npos);
}

TEST_F(ControlTest, CtlClientPrintsDataAndReportsErrorsByExitStatus) {
  std::istringstream none;
  std::ostringstream out, err;
  EXPECT_EQ(dqsim::RunCtl(dir_.File("ctl.sock"), {"reg", "0x3e"}, none, out, err), 0);
  EXPECT_EQ(out.str(), "4\n");
  EXPECT_EQ(dqsim::RunCtl(dir_.File("ctl.sock"), {"reg", "0x41"}, none, out, err), 1);
  EXPECT_EQ(dqsim::RunCtl(dir_.File("nothing.sock"), {"show"}, none, out, err), 2);
}

TEST_F(ControlTest, LongLineIsRefusedAndShutdownStopsTheLoop) {
  std::string answer, error;
  EXPECT_TRUE(dqsim::SendControlLine(dir_.File("ctl.sock"), std::string(5000, 'x'), answer, error)) << error;
  EXPECT_EQ(answer, "error: line too long\n");
  EXPECT_EQ(Ctl("shutdown"), "ok\n");
  sim_->StopThread();
  EXPECT_TRUE(sim_->StopRequested());
}

TEST_F(ControlTest, ControlSocketPathIsGuarded) {
  dqsim::SimOptions o;
  o.pty = false;
  o.udp = false;
  o.controlPath = dir_.File("ctl.sock");  // the running simulator's
  dqsim::Simulator second(o);
  std::string error;
  EXPECT_FALSE(second.Open(&error));
  EXPECT_NE(error.find("another program is listening"), std::string::npos) << error;

  dqtest::WriteFile(dir_.File("plain"), "keep me");
  o.controlPath = dir_.File("plain");
  dqsim::Simulator third(o);
  EXPECT_FALSE(third.Open(&error));
  EXPECT_EQ(dqtest::ReadFile(dir_.File("plain")), "keep me");

  // A socket file nobody listens on is taken over.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string stale = dir_.File("stale.sock");
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stale.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
  o.controlPath = stale;
  dqsim::Simulator fourth(o);
  EXPECT_TRUE(fourth.Open(&error)) << error;
  fourth.Close();
  EXPECT_NE(access(stale.c_str(), F_OK), 0);  // removed at close
}

// ---- command line ---------------------------------------------------------------

TEST(CommandLineTest, OptionsFillTheSimulatorSettings) {
  auto cl = dqsim::ParseCommandLine({"-a", "1,2,250", "--baud-code=6", "--model", "ABCDEFGH", "--fw-version", "9.9",
                                     "--no-input-pattern", "--state", "/tmp/s", "--com", "3", "--port-map", "/tmp/m",
                                     "--serial", "/dev/ttyS1", "--udp-port", "0", "--bind", "127.0.0.2",
                                     "--control", "/tmp/c", "--wire-timing", "-v", "--no-pty", "--pty",
                                     "--wire", "dout3=DIN5,DOUT3=DIN6"});
  ASSERT_EQ(cl.mode, dqsim::CommandLine::kRun) << cl.error;
  const dqsim::SimOptions& o = cl.options;
  EXPECT_EQ(o.addresses, (std::vector<uint8_t>{1, 2, 250}));
  EXPECT_EQ(o.baudCode, 6);
  EXPECT_EQ(o.identity.model, "ABCDEFGH");
  EXPECT_EQ(o.identity.version, "9.9");
  EXPECT_FALSE(o.inputPattern);
  EXPECT_EQ(o.statePath, "/tmp/s");
  EXPECT_EQ(o.comPort, 3);
  EXPECT_EQ(o.portMapPath, "/tmp/m");
  EXPECT_EQ(o.serialDevice, "/dev/ttyS1");
  EXPECT_EQ(o.udpPort, 0);
  EXPECT_EQ(o.udpBind, "127.0.0.2");
  EXPECT_EQ(o.controlPath, "/tmp/c");
  EXPECT_TRUE(o.wireTiming);
  EXPECT_EQ(o.wiring.Text(), "DOUT3=DIN5,DOUT3=DIN6");
  EXPECT_TRUE(o.verbose);
  EXPECT_TRUE(o.pty);
  EXPECT_FALSE(o.sharedAddresses);

  auto shared = dqsim::ParseCommandLine({"-a", "5,5", "--shared-address"});
  ASSERT_EQ(shared.mode, dqsim::CommandLine::kRun) << shared.error;
  EXPECT_EQ(shared.options.addresses, (std::vector<uint8_t>{5, 5}));
  EXPECT_TRUE(shared.options.sharedAddresses);
}

TEST(CommandLineTest, DefaultsServeAddressZeroAt9600OnLoopback) {
  auto cl = dqsim::ParseCommandLine({});
  ASSERT_EQ(cl.mode, dqsim::CommandLine::kRun);
  EXPECT_EQ(cl.options.addresses, std::vector<uint8_t>{0});
  EXPECT_EQ(cl.options.baudCode, 4);
  EXPECT_EQ(cl.options.udpBind, "127.0.0.1");
  EXPECT_EQ(cl.options.udpPort, 5000);
  EXPECT_TRUE(cl.options.pty);
  EXPECT_TRUE(cl.options.inputPattern);
}

TEST(CommandLineTest, BadOptionsAreRefused) {
  const std::vector<std::vector<std::string>> bad = {
      {"-a", "256"},         {"-a", "1,1"},      {"-a", "1,"},          {"--baud-code", "9"},
      {"--com", "0"},        {"--udp-port", "70000"}, {"--model", "123456789"}, {"--frobnicate"},
      {"--state"},           {"--com", "2", "--no-pty"}, {"--no-pty", "--no-udp"}, {"-b", "-1"},
      {"-a", "10,010"},  // a leading zero is decimal: the same address twice
      {"--wire", "DOUT1=DIN5,DOUT2=DIN5"}, {"--wire", "DOUT32=DIN0"}, {"--wire", "DIN0=DOUT1"},
  };
  for (const auto& args : bad) {
    auto cl = dqsim::ParseCommandLine(args);
    EXPECT_EQ(cl.mode, dqsim::CommandLine::kError) << args[0];
    EXPECT_FALSE(cl.error.empty());
  }
}

TEST(CommandLineTest, CtlTakesTheSocketAndTheCommandWords) {
  auto cl = dqsim::ParseCommandLine({"ctl", "--control", "/tmp/x", "fault", "delay", "5"});
  ASSERT_EQ(cl.mode, dqsim::CommandLine::kCtl);
  EXPECT_EQ(cl.controlPath, "/tmp/x");
  EXPECT_EQ(cl.command, (std::vector<std::string>{"fault", "delay", "5"}));
  EXPECT_EQ(dqsim::ParseCommandLine({"ctl", "show"}).mode, dqsim::CommandLine::kError);
}

TEST(CommandLineTest, HelpNamesEveryOptionAndCommand) {
  EXPECT_EQ(dqsim::ParseCommandLine({"--verbose", "--help"}).mode, dqsim::CommandLine::kHelp);
  std::string help = dqsim::HelpText();
  for (const char* word : {"--address", "--baud-code", "--model", "--fw-version", "--no-input-pattern", "--state",
                           "--no-pty", "--com", "--port-map", "--serial", "--no-udp", "--udp-port", "--bind",
                           "--wire-timing", "--control", "--verbose", "dq7184-sim ctl", "fault KIND", "restart",
                           "disappear", "SIGTERM"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

}  // namespace
