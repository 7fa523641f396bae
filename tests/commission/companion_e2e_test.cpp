// dq7184 as a user runs it, against a simulator in this process: backup
// and restore across modules, the account of a restore that stops, several
// addresses with one failing, what keeps a restore from writing, and
// damaged backup files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "InProcessSim.h"
#include "TempDir.h"
#include "core/ModuleCommands.h"

namespace {

using nlohmann::json;

constexpr int kComPort = 7;
constexpr uint8_t kSource = 0;  // the configured module
constexpr uint8_t kTarget = 3;  // a module at factory settings

struct Result {
  int exitCode = -1;
  std::string out, err;
};

// Runs dq7184 with the arguments (no blanks in any), standard input not a
// terminal; bounded by timeout(1).
Result RunCompanion(const dqtest::TempDir& dir, const std::string& args) {
  const std::string errFile = dir.File("stderr.txt");
  const std::string command =
      "timeout 120 " + std::string(DQ7184_PROGRAM) + " " + args + " </dev/null 2>" + errFile;
  Result result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = dqtest::ReadFile(errFile);
  return result;
}

// A configuration that differs from the factory one in every kind of field.
const std::vector<std::pair<uint8_t, uint8_t>> kConfigured = {
    {dqcmd::PulseRegisterLow(1), 0xE8}, {dqcmd::PulseRegisterHigh(1), 0x03}, {dqcmd::DinNegationRegister(0), 0x09},
    {dqcmd::DinNegationRegister(3), 0x80}, {dqcmd::DoutNegationRegister(2), 0x11},
    {dqcmd::DoutInitialRegister(1), 0x42},
};

class CompanionTest : public ::testing::Test {
 protected:
  // Modules at the given addresses, the first configured with kConfigured.
  void StartSim(std::vector<uint8_t> addresses = {kSource, kTarget}) {
    dqsim::SimOptions options = dqtest::OneModule(kSource, kComPort);
    options.addresses = addresses;
    ASSERT_EQ(sim_.Start(options), "");
    for (const auto& [reg, value] : kConfigured) ASSERT_EQ(sim_->WriteRegister(0, reg, value), 0);
  }
  std::string Lan() {
    return "--interface lan --host 127.0.0.1 --udp-port " + std::to_string(sim_.Sim().UdpPort()) + " --rate 9600";
  }
  std::string Com() const { return "--interface com --com " + std::to_string(kComPort) + " --rate 9600"; }
  std::string At(int address) const { return " --address " + std::to_string(address); }
  uint8_t Reg(size_t module, uint8_t reg) { return sim_->Snapshot(module).registers[reg]; }
  // The backup of the configured module, in the test's folder.
  std::string Backup() {
    std::string file = dir_.File("module.cfg");
    Result r = RunCompanion(dir_, "backup " + file + " " + Lan() + At(kSource));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return file;
  }

  dqtest::InProcessSim sim_;
  dqtest::TempDir dir_;
};

// Backup, restore onto a module at factory settings at another address,
// and diff reports no difference -- over each kind of line.
TEST_F(CompanionTest, BackupRestoredOntoFactoryModuleMatches) {
  StartSim();
  const std::string file = Backup();
  struct Row {
    const char* name;
    std::string link;
  } rows[] = {{"udp", Lan()}, {"pty", Com()}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& [reg, value] : kConfigured) sim_->WriteRegister(1, reg, 0);  // back to factory
    EXPECT_EQ(RunCompanion(dir_, "diff " + file + " " + row.link + At(kTarget)).exitCode, 1);
    Result restore = RunCompanion(dir_, "restore " + file + " --yes " + row.link + At(kTarget));
    EXPECT_EQ(restore.exitCode, 0) << restore.out << restore.err;
    for (const auto& [reg, value] : kConfigured) EXPECT_EQ(Reg(1, reg), value) << int(reg);
    EXPECT_EQ(Reg(1, dqcmd::kRegAddress), kTarget);  // the address is not carried over
    EXPECT_EQ(RunCompanion(dir_, "diff " + file + " " + row.link + At(kTarget)).exitCode, 0);
    // Compared with the address, the clone at another address differs.
    EXPECT_EQ(RunCompanion(dir_, "diff " + file + " --with-address " + row.link + At(kTarget)).exitCode, 1);
  }
}

// A refused write and a read-back that differs stop the restore at that
// register: the registers before it written and read back, the rest not
// written, and the account says so.
TEST_F(CompanionTest, FailedRegisterStopsRestoreWithItsAccount) {
  StartSim();
  const std::string file = Backup();
  const uint8_t failing = dqcmd::DoutInitialRegister(1);  // the fourth of the six writes
  struct Row {
    const char* fault;
    const char* outcome;
  } rows[] = {{"refuse-write", "write-failed"}, {"lose-write", "read-back-differs"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    for (const auto& [reg, value] : kConfigured) sim_->WriteRegister(1, reg, 0);
    sim_->Control(std::string("fault ") + row.fault + " " + std::to_string(failing));
    Result r = RunCompanion(dir_, "restore " + file + " --yes --json " + Lan() + At(kTarget));
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    json report = json::parse(r.out);
    const json& module = report["modules"][0];
    EXPECT_EQ(module["result"], "stopped");
    bool reached = false;
    for (const json& write : module["writes"]) {
      const uint8_t reg = write["register"];
      const uint8_t wanted = write["to"];
      if (reg == failing) {
        reached = true;
        EXPECT_EQ(write["outcome"], row.outcome);
        EXPECT_EQ(Reg(1, reg), 0);
      } else if (!reached) {
        EXPECT_EQ(write["outcome"], "verified");
        EXPECT_EQ(Reg(1, reg), wanted);
      } else {
        EXPECT_EQ(write["outcome"], "not-written");
        EXPECT_EQ(Reg(1, reg), 0);
      }
    }
    EXPECT_TRUE(reached);
  }
}

// Several addresses: each module in turn, one result each, going on past a
// module that fails; the exit code is the worst result.
TEST_F(CompanionTest, SeveralAddressesGoOnPastAFailingModule) {
  const std::vector<uint8_t> present = {kSource, 1, 4, 7};
  StartSim(present);
  const std::string file = Backup();
  struct Row {
    const char* name;
    const char* fault;  // control command before the run, or ""
    std::string addresses;
    int exitCode;
    std::vector<std::string> results;
  } rows[] = {
      {"an address nobody answers", "", "1,5,7", 3, {"done", "unreachable", "done"}},
      {"a write lost in the first", "fault lose-write 0x21", "1,4", 1, {"stopped", "done"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (size_t m = 1; m < present.size(); ++m) {
      for (const auto& [reg, value] : kConfigured) sim_->WriteRegister(m, reg, 0);
    }
    if (*row.fault) sim_->Control(row.fault);
    Result r = RunCompanion(dir_, "restore " + file + " --yes --json " + Lan() + " --address " + row.addresses);
    EXPECT_EQ(r.exitCode, row.exitCode) << r.out << r.err;
    json report = json::parse(r.out);
    ASSERT_EQ(report["modules"].size(), row.results.size());
    for (size_t i = 0; i < row.results.size(); ++i) {
      EXPECT_EQ(report["modules"][i]["result"], row.results[i]) << i;
    }
    for (size_t m = 1; m < present.size(); ++m) {
      EXPECT_EQ(Reg(m, dqcmd::kRegAddress), present[m]);  // address registers never written
    }
  }
}

// Nothing is written unless the user asked and the file fits the module.
TEST_F(CompanionTest, RestoreWritesOnlyWhenAskedAndFitting) {
  StartSim();
  const std::string file = Backup();
  std::string otherType = dqtest::ReadFile(file);
  otherType.replace(otherType.find("type = DQ7184/9"), 15, "type = DQ7184/5");
  dir_.Write("other.cfg", otherType);
  struct Row {
    const char* name;
    std::string args;
    int exitCode;
    bool written;
  } rows[] = {
      {"dry run", "--yes --dry-run", 1, false},
      {"no terminal, no --yes", "", 2, false},
      {"another module type", "--yes --file-of-other-type", 1, false},
      {"another module type, forced", "--yes --force --file-of-other-type", 0, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& [reg, value] : kConfigured) sim_->WriteRegister(1, reg, 0);
    std::string args = row.args;
    std::string used = file;
    const std::string marker = " --file-of-other-type";
    if (size_t at = args.find(marker); at != std::string::npos) {
      args.erase(at, marker.size());
      used = dir_.File("other.cfg");
    }
    Result r = RunCompanion(dir_, "restore " + used + " " + args + " " + Lan() + At(kTarget));
    EXPECT_EQ(r.exitCode, row.exitCode) << r.out << r.err;
    for (const auto& [reg, value] : kConfigured) EXPECT_EQ(Reg(1, reg), row.written ? value : 0) << int(reg);
  }
  // The forced restore left the registers equal, but the type differs: no "matches".
  Result diff = RunCompanion(dir_, "diff " + dir_.File("other.cfg") + " " + Lan() + At(kTarget));
  EXPECT_EQ(diff.exitCode, 1);
  EXPECT_EQ(diff.out.find("matches"), std::string::npos) << diff.out;
}

// A damaged backup file: the message names the line, and nothing at all is
// sent to the module.
TEST_F(CompanionTest, DamagedBackupFileNamesItsLineAndWritesNothing) {
  StartSim();
  const std::string good = dqtest::ReadFile(Backup());
  struct Row {
    const char* name;
    const char* find;     // a line of the good file...
    const char* replace;  // ...replaced by this (empty: removed)
    const char* where;    // expected in the message
  } rows[] = {
      {"another format version", "format = dq7184-configuration 1", "format = dq7184-configuration 2", ":5: format"},
      {"no format line", "format = dq7184-configuration 1", "", ":5: the file must begin"},
      {"no key = value", "DIN4 negated = no", "DIN4 negated no", "\"key = value\""},
      {"unknown key", "DIN4 negated = no", "DIN32 negated = no", "unknown key \"DIN32 negated\""},
      {"a key twice", "DIN4 negated = no", "DIN3 negated = no", "\"DIN3 negated\" again"},
      {"yes/no value", "DIN4 negated = no", "DIN4 negated = maybe", "expected yes or no"},
      {"on/off value", "DOUT4 initial = off", "DOUT4 initial = 1", "expected on or off"},
      {"no rate", "rate = 9600", "rate = 9601", "expected a rate"},
      {"pulse number too big", "CNT 2 pulse number = 1", "CNT 2 pulse number = 65536", "0-65535"},
      {"address too big", "address = 0", "address = 256", "an address 0-255"},
      {"a key missing", "DOUT31 initial = off", "", "ends without \"DOUT31 initial\""},
      {"a control character", "version = 1.03", "version = 1.03\x1b[2J", "a control character"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string text = good;
    size_t at = text.find(std::string(row.find) + "\n");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::string(row.find).size() + 1, *row.replace ? std::string(row.replace) + "\n" : "");
    dir_.Write("damaged.cfg", text);
    const uint64_t before = sim_->Stats().requests;
    Result r = RunCompanion(dir_, "restore " + dir_.File("damaged.cfg") + " --yes " + Lan() + At(kTarget));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(row.where), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("damaged.cfg:"), std::string::npos) << r.err;
    EXPECT_EQ(sim_->Stats().requests, before);
  }
}

// A damaged backup given to the report is refused before the link is
// opened: no link test, nothing sent to the module, no PDF.
TEST_F(CompanionTest, ReportRefusesADamagedBackupBeforeTheLink) {
  StartSim();
  if (RunCompanion(dir_, "report --help").exitCode != 0) GTEST_SKIP() << "built without the report";
  dir_.Write("damaged.cfg", "format = dq7184-configuration 2\n");
  const uint64_t before = sim_->Stats().requests;
  Result r = RunCompanion(dir_, "report " + dir_.File("r.pdf") + " --site S --technician T --backup " +
                                    dir_.File("damaged.cfg") + " " + Lan() + At(kSource));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("damaged.cfg:"), std::string::npos) << r.err;
  EXPECT_EQ(sim_->Stats().requests, before);
  EXPECT_EQ(dqtest::ReadFile(dir_.File("r.pdf")), "");
}

// The backup names each configured register's channels as the windows do:
// register 0x21 + 3j holds DIN8j-DIN8j+7, 0x22 + 3j the DOUT negation,
// 0x20 + 3j the initial states, registers 2n/2n+1 CNT n.
TEST_F(CompanionTest, BackupNamesEachRegisterByItsChannels) {
  StartSim();
  const std::string text = dqtest::ReadFile(Backup());
  for (const char* line : {"CNT 1 pulse number = 1000", "DIN0 negated = yes", "DIN3 negated = yes",
                           "DIN31 negated = yes", "DIN1 negated = no", "DOUT16 negated = yes", "DOUT20 negated = yes",
                           "DOUT17 negated = no", "DOUT9 initial = on", "DOUT14 initial = on",
                           "DOUT8 initial = off", "CNT 0 pulse number = 1"}) {
    EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << line;
  }
}

// info names the status register's bits FN 1, PRF 2, PWR 4, RST 5, ERR24 6.
TEST_F(CompanionTest, InfoNamesTheStatusBits) {
  StartSim();
  struct Row {
    uint32_t bits;
    std::vector<const char*> set;
  } rows[] = {{0x12, {"FN", "PWR"}}, {0x64, {"PRF", "RST", "ERR24"}}, {0x80000001, {}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bits);
    sim_->Control("status clear");
    sim_->Control("status set " + std::to_string(row.bits));
    Result r = RunCompanion(dir_, "info --json " + Lan() + At(kSource));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    json info = json::parse(r.out);
    EXPECT_EQ(info["statusRegister"]["value"], row.bits);
    for (const char* name : {"FN", "PRF", "PWR", "RST", "ERR24"}) {
      bool expected = std::find_if(row.set.begin(), row.set.end(),
                                   [name](const char* n) { return std::string(n) == name; }) != row.set.end();
      EXPECT_EQ(info["statusRegister"]["named"][name], expected) << name;
    }
  }
}

// --with-address writes the address and rate registers too, says when they
// take effect and how to reach the module then; after its power-up the
// module answers there and matches the file with the address.
TEST_F(CompanionTest, WithAddressWritesAddressAndRateForTheNextPowerUp) {
  StartSim();
  std::string text = dqtest::ReadFile(Backup());
  text.replace(text.find("address = 0\nrate = 9600"), 24, "address = 9\nrate = 19200");
  dir_.Write("moved.cfg", text);
  const std::string file = dir_.File("moved.cfg");
  Result r = RunCompanion(dir_, "restore " + file + " --yes --with-address " + Lan() + At(kTarget));
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("next power-up"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--address 9 --rate 19200"), std::string::npos) << r.out;
  EXPECT_EQ(Reg(1, dqcmd::kRegAddress), 9);
  EXPECT_EQ(Reg(1, dqcmd::kRegBaudCode), 5);
  sim_->Control("restart @" + std::to_string(kTarget));
  std::string lan19200 = Lan();
  lan19200.replace(lan19200.find("9600"), 4, "19200");
  EXPECT_EQ(RunCompanion(dir_, "diff " + file + " --with-address " + lan19200 + At(9)).exitCode, 0);
}

// Options that do not fit are refused before anything is opened.
TEST_F(CompanionTest, ConnectionOptionsThatDoNotFitAreRefused) {
  StartSim();
  struct Row {
    std::string args;
    const char* message;
  } rows[] = {
      {"info --interface com --host 127.0.0.1", "belong to --interface lan"},
      {"info --com 3 --udp-port 5000", "several interfaces"},
      {"info --interface lan --rate 9601", "--rate 9601"},
      {"info --interface isa --isa-base 0x1G", "--isa-base"},
      {"info " + Lan() + " --address 1,2", "one --address"},
      {"restore " + dir_.File("x.cfg") + " --with-address " + Lan() + " --address 1,2", "--with-address takes one"},
  };
  dir_.Write("x.cfg", dqtest::ReadFile(Backup()));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args);
    const uint64_t before = sim_->Stats().requests;
    Result r = RunCompanion(dir_, row.args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    EXPECT_EQ(sim_->Stats().requests, before);
  }
}

// Without connection options the link of W_dq7184.ini beside the program
// is used, and the file is left byte for byte as it was.
TEST_F(CompanionTest, SettingsFileBesideTheProgramGivesTheLinkAndStaysUntouched) {
  StartSim();
  const std::string program = std::string(DQ7184_PROGRAM);
  const std::string folder = program.substr(0, program.rfind('/'));
  dir_.MakeDir("bundle");
  for (const char* file : {"dq7184", "TDQ2847.DLL"}) {
    ASSERT_EQ(std::system(("cp " + folder + "/" + file + " " + dir_.File("bundle") + "/").c_str()), 0);
  }
  const std::string ini = "[P\xf8ipojen\xed]\r\nRozhran\xed=DQ-2847\r\nAdresa=3\r\nRychlost=9600\r\n[DQ-2847]\r\n"
                          "IP adresa=127.0.0.1\r\nUDP port=" + std::to_string(sim_->UdpPort()) +
                          "\r\nUDP timeout=200\r\n";
  dir_.Write("bundle/W_dq7184.ini", ini);
  const std::string command = "timeout 60 " + dir_.File("bundle/dq7184") + " info --json </dev/null 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  EXPECT_EQ(pclose(pipe), 0) << out;
  json info = json::parse(out);
  EXPECT_EQ(info["module"]["address"], kTarget);
  EXPECT_EQ(dqtest::ReadFile(dir_.File("bundle/W_dq7184.ini")), ini);
}

}  // namespace

namespace {

// The link the program hands to checkout and report names the module it
// identified: the results file and the report's header carry it.
TEST_F(CompanionTest, OpenedLinkNamesTheIdentifiedModule) {
  StartSim();
  const std::string results = dir_.File("checkout.json");
  Result r = RunCompanion(dir_, "checkout --outputs none --inputs none --counters none --results " + results + " " +
                                    Lan() + At(kTarget));
  ASSERT_NE(r.exitCode, 3) << r.err;
  EXPECT_NE(r.out.find("at address 3 (DQ7184/9 v.1.03)"), std::string::npos) << r.out;
  EXPECT_EQ(json::parse(dqtest::ReadFile(results))["module"], "DQ7184/9 v.1.03");
}

}  // namespace

namespace {

// A checkout whose terminal hangs up or whose output's reader goes away
// while an output is switched on stops as on Ctrl+C: the outputs go back
// to their initial states and the results file is written.
TEST_F(CompanionTest, CheckoutLosingItsTerminalSetsTheOutputsBack) {
  StartSim({kTarget});
  struct Row {
    const char* name;
    const char* shape;  // %s: the checkout command
  } rows[] = {{"output closed", "(printf 'yes\\n'; sleep 2; printf 'yes\\n'; sleep 2) | %s | head -c 1 >/dev/null"},
              {"hang-up", "(printf 'yes\\n'; sleep 5) | timeout -s HUP 2 %s >/dev/null"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string results = dir_.File(std::string("results-") + row.name[0] + ".json");
    const std::string checkout = std::string(DQ7184_PROGRAM) + " checkout --outputs 0-1 --inputs none --counters none" +
                                 " --results " + results + " " + Lan() + At(kTarget);
    char command[1024];
    std::snprintf(command, sizeof command, row.shape, checkout.c_str());
    std::system(("timeout 60 sh -c \"" + std::string(command) + "\" 2>/dev/null").c_str());
    EXPECT_EQ(sim_->Snapshot(0).outputs, 0x4200u);  // the initial states of kConfigured
    EXPECT_EQ(json::parse(dqtest::ReadFile(results))["outcome"], "stopped");
  }
}

}  // namespace
