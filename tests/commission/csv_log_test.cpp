// Opening a value log that already exists: a torn last row (cut short, or
// zero bytes a power loss left) is cut off, another header is refused with
// the file untouched, and rows are appended behind the whole ones.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "CsvLog.h"
#include "TempDir.h"

namespace {

using namespace std::string_literals;

const std::string kHeader = "time,ms,DIN";

TEST(CsvLogOpen, ExistingFileIsContinuedCutOrRefused) {
  const struct {
    const char* name;
    std::optional<std::string> before;  // nullopt: no file
    bool opens;
    uint64_t cut;
    std::string after;  // after opening and appending the row "R"
  } rows[] = {
      {"new file", std::nullopt, true, 0, kHeader + "\nR\n"},
      {"empty file", ""s, true, 0, kHeader + "\nR\n"},
      {"whole rows", kHeader + "\na,1\n", true, 0, kHeader + "\na,1\nR\n"},
      {"torn last row", kHeader + "\na,1\nb,", true, 2, kHeader + "\na,1\nR\n"},
      {"zero tail", kHeader + "\na,1\n\0\0\0"s, true, 3, kHeader + "\na,1\nR\n"},
      {"zeros inside the last line", kHeader + "\na,1\n\0\0b\n"s, true, 4, kHeader + "\na,1\nR\n"},
      {"torn header", "time,m"s, true, 6, kHeader + "\nR\n"},
      {"other header", "time,ms,CNT 0\na,1\n"s, false, 0, "time,ms,CNT 0\na,1\n"},
      {"no log at all", "hello"s, false, 0, "hello"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const dqtest::TempDir folder;
    const std::string path = folder.File("log.csv");
    if (row.before) dqtest::WriteFile(path, *row.before);
    dqcommission::CsvLog log(std::chrono::milliseconds(1000));
    dqcommission::CsvOpenReport report;
    ASSERT_EQ(log.Open(path, kHeader, report), row.opens) << log.Error();
    if (row.opens) {
      EXPECT_EQ(report.cutBytes, row.cut);
      ASSERT_TRUE(log.Append("R", dqcommission::CsvLog::Clock::now())) << log.Error();
      ASSERT_TRUE(log.Close()) << log.Error();
    } else {
      EXPECT_NE(log.Error().find("refused"), std::string::npos) << log.Error();
    }
    EXPECT_EQ(dqtest::ReadFile(path), row.after);
  }
}

}  // namespace
