// The files the checkout and the report read: the loopback plan, the
// checkout's result file and the watch log. Each is read as written, and
// a bad one is refused with where and why.
#include <gtest/gtest.h>

#include <string>

#include "commission/CheckoutResults.h"
#include "commission/LoopbackPlan.h"
#include "commission/WatchCsv.h"
#include "report/WatchCsv.h"

namespace {

enum class Kind { kPlan, kResults, kWatch };

struct BadFile {
  const char* name;
  Kind kind;
  const char* text;
  const char* why;  // must be in the reason
};

const BadFile kBad[] = {
    {"plan_channel_out_of_range", Kind::kPlan, "DOUT1 DIN5\nDOUT32 DIN1\n", "line 2"},
    {"plan_input_twice", Kind::kPlan, "DOUT1 DIN5\n\n# x\nDOUT2 DIN5\n", "line 4: DIN5 is wired twice"},
    {"plan_output_twice", Kind::kPlan, "DOUT1 DIN5\nDOUT1 DIN6\n", "DOUT1 is wired twice"},
    {"plan_three_words", Kind::kPlan, "DOUT1 DIN5 DIN6\n", "line 1"},
    {"plan_reversed", Kind::kPlan, "DIN5 DOUT1\n", "line 1"},
    {"results_other_json", Kind::kResults, "{\"format\": \"x\"}", "not a checkout result file"},
    {"results_not_json", Kind::kResults, "DOUT1 pass", "not a valid checkout result file"},
    {"results_unknown_verdict", Kind::kResults,
     "{\"format\":\"dq7184-checkout\",\"address\":1,\"module\":\"\",\"started\":\"\",\"finished\":\"\","
     "\"outcome\":\"passed\",\"doutNegation\":\"0x0\",\"dinNegation\":\"0x0\",\"doutInitial\":\"0x0\","
     "\"outputsWritten\":false,\"outputsRestored\":false,\"channels\":[{\"channel\":\"DOUT1\",\"result\":\"great\"}]}",
     "unknown result of DOUT1"},
    {"watch_empty", Kind::kWatch, "", "empty"},
    {"watch_short_header", Kind::kWatch, "time,ms,error code\n", "line 1"},
    {"watch_row_too_short", Kind::kWatch, "time,ms,DIN0,error,error text\nt,0,1,0,\nt,100,1\n", "line 3"},
    {"watch_bad_value", Kind::kWatch, "time,ms,CNT 1,error,error text\nt,0,12x,0,\n", "line 2: column 3"},
    {"watch_other_csv", Kind::kWatch, "a,b,c,d,e\n1,2,3,4,5\n", "line 1: expected the header of a watch log"},
    {"watch_foreign_column", Kind::kWatch, "time,ms,DIN0,TEMP,error,error text\n", "line 1: column 4 is \"TEMP\""},
};

void PrintTo(const BadFile& row, std::ostream* os) { *os << row.name; }

class BadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, AreRefusedWithWhereAndWhy) {
  const BadFile& row = GetParam();
  std::string why;
  bool ok = true;
  if (row.kind == Kind::kPlan) {
    dqcommission::LoopbackPlan plan;
    ASSERT_TRUE(plan.Parse("DOUT0 DIN0\n", &why));
    ok = plan.Parse(row.text, &why);
    EXPECT_EQ(plan.InputOf(0), 0);  // the plan is kept as it was
  } else if (row.kind == Kind::kResults) {
    dqcommission::CheckoutResults results;
    ok = dqcommission::ParseCheckoutResults(row.text, results, &why);
  } else {
    dqreport::WatchLog log;
    ok = dqreport::ParseWatchCsv(row.text, log, &why);
  }
  EXPECT_FALSE(ok);
  EXPECT_NE(why.find(row.why), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(Rows, BadFiles, ::testing::ValuesIn(kBad),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckoutResultsFile, ReadsBackAsWritten) {
  dqcommission::CheckoutResults r;
  r.address = 255;
  r.moduleIdent = "DQ7184/9 v.1.03";
  r.started = "2026-12-09T09:00:00+01:00";
  r.finished = "2026-12-09T09:05:00+01:00";
  r.doutNegation = 0x80000001u;
  r.dinNegation = 0xFFFFFFFFu;
  r.doutInitial = 0x00010000u;
  r.end = dqcommission::CheckoutEnd::kStopped;
  r.message = "stopped by the user";
  r.outputsWritten = true;
  r.outputsRestored = false;
  r.channels = {{"DOUT0", dqcommission::Verdict::kPass, "loopback DIN4", "", "2026-12-09T09:01:00+01:00"},
                {"DIN \"7\"", dqcommission::Verdict::kFail, "technician", "no change within 30 s", "t"},
                {"CNT 3", dqcommission::Verdict::kSkipped, "", "the counters are stopped", "t"},
                {"CNT 4", dqcommission::Verdict::kNotChecked, "", "", ""}};
  dqcommission::CheckoutResults back;
  std::string why;
  ASSERT_TRUE(dqcommission::ParseCheckoutResults(dqcommission::CheckoutResultsJson(r), back, &why)) << why;
  EXPECT_EQ(dqcommission::CheckoutResultsJson(back), dqcommission::CheckoutResultsJson(r));
  EXPECT_EQ(back.doutNegation, 0x80000001u);
  EXPECT_EQ(back.end, dqcommission::CheckoutEnd::kStopped);
  ASSERT_EQ(back.channels.size(), 4u);
  EXPECT_EQ(back.channels[1].verdict, dqcommission::Verdict::kFail);
}

struct WatchRow {
  const char* name;
  const char* text;
  size_t samples;
  int failed;
  const char* series;  // a series that must be there
  size_t sample;       // and its value at this sample (-1: a gap)
  double value;
  double seconds = -1;  // the sample's time since the start, when >= 0
};

// A log as `watch` writes it, all sources, without and with --masks.
std::string WatchWritten(bool masks) {
  const dqcommission::WatchSources all{true, true, true};
  dqcommission::WatchSample sample;
  sample.hasInputs = sample.hasStatus = true;
  sample.inputs = 0x8;
  sample.countersRead = 32;
  sample.counters[7] = 9;
  return dqcommission::WatchCsvHeader(all, masks) + "\n" + dqcommission::WatchCsvRow(sample, all, masks) + "\n";
}
const std::string kWritten = WatchWritten(false);
const std::string kWrittenMasks = WatchWritten(true);

const WatchRow kWatch[] = {
    {"as_the_watch_writes_it", kWritten.c_str(), 1, 0, "DIN3", 0, 1},
    {"as_the_watch_writes_it_masks", kWrittenMasks.c_str(), 1, 0, "CNT 7", 0, 9},
    {"channel_columns", "time,ms,DIN0,DIN1,CNT 0,error,error text\nt0,0,0,1,5,0,\nt1,100,1,1,6,0,\n", 2, 0,
     "CNT 0", 1, 6},
    {"failed_sample_is_a_gap", "time,ms,DIN0,CNT 0,error,error text\nt0,0,1,5,0,\nt1,100,,,1,\"no reply, 1\"\n", 2,
     1, "DIN0", 1, -1},
    {"input_image_split", "time,ms,DIN,error,error text\nt0,0,0x80000001,0,\n", 1, 0, "DIN31", 0, 1},
    {"input_image_other_bit", "time,ms,DIN,error,error text\nt0,0,0x80000001,0,\n", 1, 0, "DIN30", 0, 0},
    {"crlf_and_blank_lines", "time,ms,CNT 9,error,error text\r\n\r\nt0,0,4294967295,0,\r\n", 1, 0, "CNT 9", 0,
     4294967295.0},
    // A watch restarted on its log: the milliseconds begin again at 0.
    {"restart_goes_after_by_time",
     "time,ms,CNT 0,error,error text\n2026-12-09T12:00:00.000+01:00,0,1,0,\n2026-12-09T12:00:02.500+01:00,2500,2,0,\n"
     "2026-12-09T12:01:00.000+01:00,0,3,0,\n2026-12-09T12:01:00.100+01:00,100,4,0,\n",
     4, 0, "CNT 0", 3, 4, 60.1},
    {"restart_without_time_goes_behind", "time,ms,CNT 0,error,error text\nt0,0,1,0,\nt1,2500,2,0,\nt2,0,3,0,\n", 3,
     0, "CNT 0", 2, 3, 2.5},
};

void PrintTo(const WatchRow& row, std::ostream* os) { *os << row.name; }

class WatchLogValues : public ::testing::TestWithParam<WatchRow> {};

TEST_P(WatchLogValues, AreReadPerSample) {
  const WatchRow& row = GetParam();
  dqreport::WatchLog log;
  std::string why;
  ASSERT_TRUE(dqreport::ParseWatchCsv(row.text, log, &why)) << why;
  EXPECT_EQ(log.seconds.size(), row.samples);
  EXPECT_EQ(log.FailedCount(), row.failed);
  auto s = std::find_if(log.series.begin(), log.series.end(), [&](auto& x) { return x.name == row.series; });
  ASSERT_NE(s, log.series.end());
  ASSERT_LT(row.sample, s->values.size());
  if (row.value < 0) {
    EXPECT_FALSE(s->values[row.sample].has_value());
  } else {
    EXPECT_EQ(s->values[row.sample].value_or(-1), row.value);
  }
  if (row.seconds >= 0) {
    EXPECT_NEAR(log.seconds[row.sample], row.seconds, 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, WatchLogValues, ::testing::ValuesIn(kWatch),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
