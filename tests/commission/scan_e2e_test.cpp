// `dq7184 scan` end to end: the command's CLI11 front end, the scan, the
// real COM-port and LAN libraries, and a simulator in this process with
// modules at several addresses and rates, reached over a pseudo-terminal
// (COM9) and over UDP on 127.0.0.1. One table: each row a bus and a
// command line, and what the command must print and return.
#include <gtest/gtest.h>

#include <signal.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "InProcessSim.h"
#include "ScanCommand.h"
#include "Txxx847.h"
#include "core/ModuleCommands.h"

namespace {

constexpr int kComPort = 9;

enum class Via { kCom, kLan };

struct SimModule {
  uint8_t address;
  uint8_t baudCode;
};

struct Row {
  const char* name;
  std::vector<SimModule> modules;
  std::vector<std::string> args;
  int exitCode;
  std::vector<std::string> printed;     // lines (or parts) standard output must hold
  std::vector<std::string> notPrinted;
  bool interrupt = false;  // Ctrl+C once the first module has answered
  int jsonModules = -1;    // standard output is a JSON list of this many modules
  bool unplugged = false;  // the simulator's lines are gone before the scan
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
void PrintTo(Via via, std::ostream* os) { *os << (via == Via::kCom ? "COM" : "LAN"); }

const Row kRows[] = {
    {"ModulesAtSeveralAddressesAndRates",
     {{3, 4}, {12, 8}, {17, 5}},
     {"--addresses", "0-19", "--rates", "115200,9600,19200"},
     0,
     {"      3       9600  TEST7184  2.01", "     17      19200  TEST7184  2.01", "     12     115200  TEST7184  2.01",
      "3 modules found; 60 of 60 probes"},
     {"garbled"}},
    {"FirstStopsAtTheFactorySetting",
     {{0, 4}, {9, 4}},
     {"--first", "--addresses", "0-9", "--rates", "9600"},
     0,
     {"      0       9600  TEST7184", "1 module found; 1 of 10 probes"},
     {"      9       9600"}},
    {"TwoModulesAtOneAddressAreGarbled",
     {{2, 4}, {5, 4}, {5, 4}},
     {"--addresses", "0-7", "--rates", "9600"},
     1,
     {"      2       9600  TEST7184",
      "address 5 at 9600 Bd: something answers, garbled: two modules at one address, or a module at another rate",
      "1 module found, 1 garbled"},
     {"      5       9600"}},
    {"CtrlCEndsWithTheTableSoFar",
     {{0, 4}},
     {"--addresses", "0-255", "--rates", "9600,19200"},
     130,
     {"      0       9600  TEST7184", "scan interrupted"},
     {"512 of 512"},
     true},
    {"JsonListsTheModules",
     {{3, 4}, {6, 6}},
     {"--json", "--addresses", "0-7", "--rates", "9600,38400"},
     0,
     {},
     {},
     false,
     2},
    // Not "no module found": nothing could be asked.
    {"GoneLineIsALinkError", {{0, 4}}, {"--addresses", "0-3", "--rates", "9600"}, 3, {}, {"0       9600"}, false, -1, true},
};

class ScanE2E : public ::testing::TestWithParam<std::tuple<Via, Row>> {
 protected:
  Via via() const { return std::get<0>(GetParam()); }
  const Row& row() const { return std::get<1>(GetParam()); }

  void StartSim() {
    dqsim::SimOptions options = dqtest::OneModule(0, kComPort);
    options.addresses.clear();
    for (const SimModule& m : row().modules) options.addresses.push_back(m.address);
    options.sharedAddresses = true;
    options.identity = {"TEST7184", "2.01"};
    ASSERT_EQ(sim_.Start(options), "");
    for (size_t i = 0; i < row().modules.size(); ++i) {
      ASSERT_EQ(sim_->WriteRegister(i, dqcmd::kRegBaudCode, row().modules[i].baudCode), 0);
      sim_->Restart(i);
    }
  }

  int LoadLink(TConnectionConfig& link) {
    link.InterfaceType = via() == Via::kCom ? itComPort : itDq2847;
    link.ComPort = kComPort;
    link.IpAddress = "127.0.0.1";
    link.UdpPort = sim_->UdpPort();
    link.UdpTimeout = 1000;  // the scan must not wait this long for a silent address
    link.ModuleAddress = 250;  // the settings file's module: outside every row's list
    link.BaudRate = 9600;
    return 0;
  }

  dqtest::InProcessSim sim_;
};

TEST_P(ScanE2E, FindsWhatTheBusHolds) {
  StartSim();
  if (row().unplugged) {
    ASSERT_TRUE(sim_->Disappear("all", nullptr));
  }
  std::ostringstream out, err;
  dqcli::ScanCommandContext context;
  context.loadLink = [this](TConnectionConfig& link, std::ostream&) { return LoadLink(link); };
  context.out = &out;
  context.err = &err;
  context.outIsTerminal = [] { return false; };

  std::atomic<bool> done{false};
  std::thread interrupter;
  if (row().interrupt) {
    interrupter = std::thread([&] {
      while (!done && sim_->Stats().answered == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (!done) kill(getpid(), SIGINT);
    });
  }
  CLI::App app("dq7184");
  dqcli::AddScanCommand(app, context);
  std::vector<std::string> argv{"scan"};
  argv.insert(argv.end(), row().args.begin(), row().args.end());
  std::reverse(argv.begin(), argv.end());  // CLI11 takes the arguments last first
  app.parse(argv);
  done = true;
  if (interrupter.joinable()) interrupter.join();

  EXPECT_EQ(context.exitCode, row().exitCode) << out.str() << err.str();
  for (const std::string& text : row().printed) EXPECT_NE(out.str().find(text), std::string::npos) << text << "\n" << out.str();
  for (const std::string& text : row().notPrinted) EXPECT_EQ(out.str().find(text), std::string::npos) << text << "\n" << out.str();
  if (row().jsonModules >= 0) {
    nlohmann::json list = nlohmann::json::parse(out.str());
    ASSERT_EQ(list.size(), static_cast<size_t>(row().jsonModules));
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(list[i]["address"], row().modules[i].address);
      EXPECT_EQ(list[i]["rate"], BaudRateFromCode(row().modules[i].baudCode));
      EXPECT_EQ(list[i]["type"], "TEST7184");
      EXPECT_EQ(list[i]["version"], "2.01");
    }
  }
  // The scan's link is closed: the port opens again at once (a link still
  // open would hold it).
  int32_t handle = 0;
  intptr_t params[kInitParamCount] = {kComPort};
  if (via() == Via::kCom && !row().unplugged) {
    ASSERT_EQ(DriverInit(itComPort, handle, params), 0);
    DriverDone(itComPort, handle);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ScanE2E, ::testing::Combine(::testing::Values(Via::kCom, Via::kLan), ::testing::ValuesIn(kRows)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) == Via::kCom ? "Com_" : "Lan_") +
                                  std::get<1>(info.param).name;
                         });

}  // namespace
