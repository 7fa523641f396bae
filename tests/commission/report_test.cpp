// The commissioning report: made from a simulated module and files, read
// back with pdftotext (the texts and figures are there) and every page
// rendered with pdftoppm. No display: the test hides DISPLAY and names
// another platform before the report makes its application.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "OpenLink.h"
#include "InProcessSimLink.h"
#include "TempDir.h"
#include "commission/ModuleReadout.h"
#include "report/ReportPdf.h"

namespace {

constexpr uint8_t kAddr = 7;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

const char* const kWatchCsv =
    "time,ms,DIN3,DIN4,CNT 5,error,error text\n"
    "2026-12-09T10:00:00.000+01:00,0,0,1,10,0,\n"
    "2026-12-09T10:00:00.500+01:00,500,1,1,12,0,\n"
    "2026-12-09T10:00:01.000+01:00,1000,,,,1,\"no reply, timeout\"\n"
    "2026-12-09T10:00:01.500+01:00,1500,0,1,17,0,\n";

// Every counter rising, so that all 32 are plotted with a legend entry each.
std::string AllCountersCsv() {
  std::string csv = "time,ms";
  for (int i = 0; i < 32; ++i) csv += ",CNT " + std::to_string(i);
  csv += ",error,error text\n";
  for (int row = 0; row < 3; ++row) {
    csv += "2026-12-09T10:00:0" + std::to_string(row) + ".000+01:00," + std::to_string(row * 1000);
    for (int i = 0; i < 32; ++i) csv += "," + std::to_string(row * (i + 1));
    csv += ",0,\n";
  }
  return csv;
}
const std::string kAllCountersCsv = AllCountersCsv();

// The right edge of the rightmost word pdftotext finds, and the page's width.
void WordExtent(const std::string& pdf, double& right, double& pageWidth) {
  const std::string boxes = Shell("pdftotext -bbox '" + pdf + "' - 2>&1");
  right = pageWidth = 0;
  for (size_t at = boxes.find("xMax=\""); at != std::string::npos; at = boxes.find("xMax=\"", at + 1)) {
    right = std::max(right, std::atof(boxes.c_str() + at + 6));
  }
  const size_t width = boxes.find("page width=\"");
  if (width != std::string::npos) pageWidth = std::atof(boxes.c_str() + width + 12);
}

dqcommission::CheckoutResults Checkout(int channels) {
  dqcommission::CheckoutResults c;
  c.address = kAddr;
  c.moduleIdent = "DQ7184/9 v.1.03";
  c.started = "2026-12-09T09:00:00+01:00";
  c.finished = "2026-12-09T09:10:00+01:00";
  c.end = dqcommission::CheckoutEnd::kFailed;
  c.message = "DOUT3 failed";
  c.outputsWritten = c.outputsRestored = true;
  for (int i = 0; i < channels; ++i) {
    bool bad = i == 3;
    c.channels.push_back({"DOUT" + std::to_string(i), bad ? dqcommission::Verdict::kFail : dqcommission::Verdict::kPass,
                          "loopback DIN" + std::to_string(i), bad ? "DIN3 stayed off" : "", "2026-12-09T09:01:00.238+01:00"});
  }
  return c;
}

struct Row {
  const char* name;
  bool backup, linkTest, watch;
  int checkoutChannels;  // 0: no checkout
  const char* watchText;
  bool written;
  const char* present;  // "|"-separated texts pdftotext must find
  const char* absent;
  int minPages;
  bool noReply = false;  // a link test whose every exchange failed
};

const Row kRows[] = {
    {"everything", true, true, true, 8, kWatchCsv, true,
     "Commissioning report|Žďár nad Sázavou, hall 2|Jana Nováková|DQ7184/9 v.1.03|DOUT0, DOUT2|DOUT1|ERR24 (bit 6)|"
     "register 0x22: 0x00 in the backup, 0x05 now|median 1.20 ms|p99 3.40 ms|148.0|no reply: 2|good|DOUT3|"
     "DIN3 stayed off|7 passed, 1 failed|2026-12-09T09:01:00.238+01:00|DIN3|CNT 5|seconds since the start|"
     "1 failed (red ticks)|Page 1",
     "not read", 1},
    {"module_only", false, false, false, 0, "", true, "Commissioning report|Status register|Module minus PC|none recorded",
     "Link test|I/O checkout|watch log|backup", 1},
    {"long_checkout_pages", false, false, false, 96, "", true, "DOUT95|Page 2", "", 2},
    {"all_counters_in_the_legend", false, false, true, 0, kAllCountersCsv.c_str(), true, "CNT 0|CNT 16|CNT 31", "", 1},
    {"checkout_names_its_module", false, false, false, 1, "", true, "Checkout of module DQ7184/9 v.1.03 at address 7",
     "", 1},
    {"link_test_without_a_reply", false, true, false, 0, "", true, "Latency none", "0.00 ms", 1, true},
    {"bad_watch_log_writes_nothing", false, false, true, 0, "time,ms,DIN0,error,error text\nx,y,1,0,\n", false,
     "", "", 0},
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class ReportPdf : public ::testing::TestWithParam<Row> {};

TEST_P(ReportPdf, HoldsItsTextsOnRenderablePages) {
  const Row& row = GetParam();
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  dqtest::InProcessSim sim;
  ASSERT_EQ(sim.Start(dqtest::OneModule(kAddr)), "");
  ASSERT_EQ(sim->WriteRegister(0, 0x22, 0x05), 0);  // DOUT0, DOUT2 negated
  ASSERT_EQ(sim->WriteRegister(0, 0x20, 0x02), 0);  // DOUT1 initially on
  sim->Control("condition err24 on");
  TConnectionConfig link;
  ASSERT_TRUE(dqtest::OpenSimLink(sim, kAddr, link));

  dqreport::ReportData d;
  d.site = "Žďár nad Sázavou, hall 2";
  d.technician = "Jana Nováková";
  d.date = "2026-12-09T10:30:00+01:00";
  d.address = kAddr;
  d.interfaceText = "LAN converter DQ-2847 127.0.0.1";
  d.baudRate = 9600;
  d.moduleIdent = Utf8FromCp1250(link.ModuleIdent);
  d.module = dqcommission::ReadModule(link, kAddr);
  CloseLink(link);
  EXPECT_EQ(d.module.error, "");
  d.haveBackup = row.backup;
  d.backupFile = "site.dqcfg";
  if (row.backup) d.differences = {"register 0x22: 0x00 in the backup, 0x05 now"};
  if (row.linkTest) {
    d.linkTest = {true, {{"ok", 998}, {"no reply", 2}}, 1.05, 1.2, 2.8, 3.4, 9.9, 148.0, 0.98, "good"};
  }
  if (row.noReply) d.linkTest = {true, {{"no reply", 200}}, {}, {}, {}, {}, {}, 0, 0.98, "bad"};
  dqtest::TempDir dir;
  if (row.watch) {
    dir.Write("watch.csv", row.watchText);
    d.watchCsv = dir.File("watch.csv");
  }
  d.haveCheckout = row.checkoutChannels > 0;
  d.checkoutFile = "checkout.json";
  d.checkout = Checkout(row.checkoutChannels);

  std::string pdf = dir.File("report.pdf");
  std::string why;
  ASSERT_EQ(dqreport::WriteReportPdf(d, pdf, &why), row.written) << why;
  if (!row.written) {
    EXPECT_NE(why.find("line 2"), std::string::npos) << why;
    EXPECT_EQ(dqtest::ReadFile(pdf), "");
    return;
  }
  std::string text = Shell("pdftotext -layout '" + pdf + "' - 2>&1");
  // pdftotext may break a line differently; compare with runs of blanks as one.
  std::string flat;
  for (char c : text) {
    char x = c == '\n' ? ' ' : c;
    if (!(x == ' ' && !flat.empty() && flat.back() == ' ')) flat += x;
  }
  auto each = [](const std::string& list, auto f) {
    size_t start = 0;
    while (start < list.size()) {
      size_t bar = list.find('|', start);
      f(list.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
  };
  each(row.present, [&](const std::string& s) { EXPECT_NE(flat.find(s), std::string::npos) << s << "\n" << text; });
  each(row.absent, [&](const std::string& s) { EXPECT_EQ(flat.find(s), std::string::npos) << s; });

  // Nothing runs over the right margin (18 mm), where it would be cut.
  double right = 0;
  double pageWidth = 0;
  WordExtent(pdf, right, pageWidth);
  EXPECT_LE(right, pageWidth - 18 / 25.4 * 72 + 0.5);

  std::string info = Shell("pdfinfo '" + pdf + "'");
  int pages = std::atoi(info.substr(info.find("Pages:") + 6).c_str());
  EXPECT_GE(pages, row.minPages);
  EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
  Shell("pdftoppm -r 30 -png '" + pdf + "' '" + dir.File("page") + "'");
  int rendered = std::atoi(Shell("ls '" + dir.Path() + "' | grep -c '^page-.*\\.png$'").c_str());
  EXPECT_EQ(rendered, pages);
  if (const char* keep = std::getenv("DQ_REPORT_SAMPLE_DIR")) {
    Shell("cp '" + pdf + "' '" + std::string(keep) + "/" + row.name + ".pdf'");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ReportPdf, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
