// The checkout and report commands as the program runs them: arguments and
// files checked before the link is opened, the exit codes, the files left
// behind, and the module's outputs untouched when nothing was to be written.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>

#include "OpenLink.h"
#include "InProcessSimLink.h"
#include "TempDir.h"
#include "cli/CheckoutCommand.h"
#include "cli/ReportCommand.h"
#include "commission/Checkout.h"

namespace {

constexpr uint8_t kAddr = 2;
constexpr const char* kModule = "DQ7184/9 v.1.03";  // as the simulated module identifies itself

struct Row {
  const char* name;
  bool report;         // the report command, else the checkout
  const char* plan;    // plan file content; nullptr: no --loopback
  const char* outputs;
  const char* answers;
  const char* faults;  // control command after the link opened; "" none
  bool refuseLink;     // the opener fails with 3
  bool checkoutFile;   // the report gets a (valid) checkout file
  int exitCode;
  const char* err;     // text the error output must hold
  bool fileWritten;    // results file or PDF
  int checkoutAddress = kAddr;  // the module the report's checkout file names
  const char* checkoutModule = kModule;
  const char* watch = nullptr;  // the report's watch log; nullptr: no --watch
  bool stop = false;            // Ctrl+C once the link is open
};

const Row kRows[] = {
    {"checkout_passes", false, "DOUT0 DIN4\nDOUT1 DIN5\n", "0-1", "yes\n", "", false, false, 0, "", true},
    {"checkout_fails_on_channel", false, "DOUT0 DIN4\nDOUT1 DIN7\n", "0-1", "yes\n", "", false, false, 1, "", true},
    {"checkout_bad_plan_line", false, "DOUT0 DIN4\nDOUT1 DIN40\n", "0-1", "yes\n", "", false, false, 2, "line 2",
     false},
    {"checkout_bad_channel_list", false, nullptr, "0-40", "yes\n", "", false, false, 2, "--outputs", false},
    {"checkout_link_refused", false, nullptr, "0", "yes\n", "", true, false, 3, "", false},
    {"checkout_link_lost", false, nullptr, "0", "yes\n", "fault silence always", false, false, 3,
     "", true},
    {"report_written", true, nullptr, "", "", "", false, true, 0, "", true},
    {"report_module_unreadable", true, nullptr, "", "", "fault silence always", false, true, 3,
     "no report written", false},
    {"report_bad_checkout_file", true, nullptr, "", "", "", false, false, 2, "checkout", false},
    {"report_bad_watch_log", true, nullptr, "", "", "", false, true, 2, "watch.csv: line 1", false, kAddr, kModule,
     "a,b,c,d,e\n"},
    {"report_checkout_of_another_address", true, nullptr, "", "", "", false, true, 1,
     "checkout of another module (address 5 in the file, 2 now)", false, 5},
    {"report_checkout_of_another_module", true, nullptr, "", "", "", false, true, 1,
     "(module \"DQ7184/5 v.1.03\" in the file, \"DQ7184/9 v.1.03\" now)", false, kAddr, "DQ7184/5 v.1.03"},
    {"report_stopped", true, nullptr, "", "", "", false, true, 1, "stopped; nothing written", false, kAddr, kModule,
     nullptr, true},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Commands : public ::testing::TestWithParam<Row> {};

TEST_P(Commands, ExitCodesAndFiles) {
  const Row& row = GetParam();
  unsetenv("DISPLAY");
  dqtest::InProcessSim sim;
  dqsim::SimOptions options = dqtest::OneModule(kAddr);
  std::string why;
  ASSERT_TRUE(dqsim::Wiring::Parse("DOUT0=DIN4,DOUT1=DIN5", options.wiring, &why));
  ASSERT_EQ(sim.Start(options), "");
  bool opened = false;
  std::atomic<bool> stop{false};
  LinkOpener opener = [&](TConnectionConfig& link, std::ostream& err) {
    opened = true;
    if (row.refuseLink) {
      err << "no link\n";
      return 3;
    }
    if (!dqtest::OpenSimLink(sim, kAddr, link)) return 3;
    if (*row.faults) sim->Control(row.faults);
    stop = row.stop;
    return 0;
  };
  dqtest::TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
  std::string file;
  int code = 0;
  if (row.report) {
    ReportArgs args;
    args.pdf = file = dir.File("report.pdf");
    args.site = "site";
    args.technician = "tech";
    args.checkout = dir.File("checkout.json");
    if (row.checkoutFile) {
      dqcommission::CheckoutResults results;
      results.address = row.checkoutAddress;
      results.moduleIdent = row.checkoutModule;
      ASSERT_TRUE(dqcommission::SaveCheckoutResults(args.checkout, results, &why)) << why;
    } else {
      dir.Write("checkout.json", "{\"format\": \"something else\"}");
    }
    if (row.watch != nullptr) {
      dir.Write("watch.csv", row.watch);
      args.watch = dir.File("watch.csv");
    }
    code = RunReportCommand(args, opener, ReportHooks{}, out, err, stop);
  } else {
    CheckoutArgs args;
    if (row.plan != nullptr) {
      dir.Write("plan.txt", row.plan);
      args.loopback = dir.File("plan.txt");
    }
    args.outputs = row.outputs;
    args.inputs = args.counters = "none";
    args.results = file = dir.File("results.json");
    std::istringstream in(row.answers);
    code = RunCheckoutCommand(args, opener, in, out, err, stop);
  }
  EXPECT_EQ(code, row.exitCode) << out.str() << err.str();
  EXPECT_NE(err.str().find(row.err), std::string::npos) << err.str();
  EXPECT_EQ(!dqtest::ReadFile(file).empty(), row.fileWritten);
  if (!row.report && row.fileWritten) {
    dqcommission::CheckoutResults saved;
    EXPECT_TRUE(dqcommission::LoadCheckoutResults(file, saved, &why)) << why;
    EXPECT_EQ(dqcommission::CheckoutExitCode(saved), row.exitCode);
  }
  // Bad arguments and files are found before the link is opened.
  EXPECT_EQ(opened, row.exitCode != 2);
}

INSTANTIATE_TEST_SUITE_P(Rows, Commands, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A results path that cannot be saved to is refused before the link is
// opened, not after the technician's whole session.
TEST(CheckoutResultsPath, RefusedBeforeTheLinkOpens) {
  dqtest::TempDir dir;
  dir.MakeDir("folder");
  for (const std::string& path : {dir.File("missing/results.json"), dir.File("folder")}) {
    SCOPED_TRACE(path);
    CheckoutArgs args;
    args.outputs = "0";
    args.inputs = args.counters = "none";
    args.results = path;
    bool opened = false;
    LinkOpener opener = [&](TConnectionConfig&, std::ostream&) { return opened = true, 3; };
    std::istringstream in("yes\n");
    std::ostringstream out;
    std::ostringstream err;
    std::atomic<bool> stop{false};
    EXPECT_EQ(RunCheckoutCommand(args, opener, in, out, err, stop), 2);
    EXPECT_NE(err.str().find(path), std::string::npos) << err.str();
    EXPECT_FALSE(opened);
  }
}

}  // namespace
