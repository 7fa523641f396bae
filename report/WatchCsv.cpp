#include "report/WatchCsv.h"

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "commission/NumberedLines.h"
#include "core/AtomicFile.h"

namespace dqreport {

namespace {

// One CSV row: fields split at commas, double quotes around a field, ""
// inside quotes for one quote.
std::vector<std::string> SplitRow(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r') {
      fields.back() += c;
    }
  }
  return fields;
}

std::string Trim(const std::string& text) {
  size_t a = text.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  return text.substr(a, text.find_last_not_of(" \t\r") - a + 1);
}

// A value column as `watch` names it: DIN0..DIN31, CNT 0..CNT 31, SR0..SR31,
// or with --masks the images DIN and SR.
bool IsWatchColumn(const std::string& name) {
  if (name == "DIN" || name == "SR") return true;
  for (const char* prefix : {"DIN", "CNT ", "SR"}) {
    const size_t length = std::strlen(prefix);
    if (name.compare(0, length, prefix) != 0) continue;
    for (int n = 0; n < 32; ++n) {
      if (name.compare(length, std::string::npos, std::to_string(n)) == 0) return true;
    }
  }
  return false;
}

// How a value column is read.
struct Column {
  int field = 0;
  enum { kDigital, kCount, kInputImage, kIgnored } kind = kIgnored;
  int firstSeries = 0;
};

}  // namespace

int WatchLog::FailedCount() const {
  int n = 0;
  for (bool f : failed) n += f ? 1 : 0;
  return n;
}

bool ParseWatchCsv(const std::string& text, WatchLog& log, std::string* why) {
  dqcommission::NumberedLines lines(text);
  std::string line;
  auto fail = [&](const std::string& what) { return lines.Fail(what, why); };
  WatchLog out;
  std::vector<Column> columns;
  size_t width = 0;
  double lastMillis = 0;
  double offset = 0;  // seconds added to the milliseconds column
  while (lines.Next(line)) {
    if (Trim(line).empty()) continue;
    std::vector<std::string> f = SplitRow(line);
    if (columns.empty() && width == 0) {
      // The header as `watch` writes it: time, ms, the value columns, error,
      // error text. Any other CSV would be plotted as nothing, or as the
      // wrong values, under the log's name.
      for (std::string& name : f) name = Trim(name);
      if (f.size() < 5 || f[0] != "time" || f[1] != "ms" || f[f.size() - 2] != "error" || f.back() != "error text")
        return fail("expected the header of a watch log: time,ms, the value columns, error,error text");
      width = f.size();
      for (size_t i = 2; i + 2 < f.size(); ++i) {
        if (!IsWatchColumn(f[i]))
          return fail("column " + std::to_string(i + 1) + " is \"" + f[i] + "\", no value column of a watch log");
        Column c;
        c.field = static_cast<int>(i);
        c.firstSeries = static_cast<int>(out.series.size());
        if (f[i] == "DIN") {
          c.kind = Column::kInputImage;
          for (int j = 0; j < 32; ++j) out.series.push_back({"DIN" + std::to_string(j), true, {}});
        } else if (f[i].rfind("DIN", 0) == 0) {
          c.kind = Column::kDigital;
          out.series.push_back({f[i], true, {}});
        } else if (f[i].rfind("CNT", 0) == 0) {
          c.kind = Column::kCount;
          out.series.push_back({f[i], false, {}});
        }  // the status register (SR) is not plotted
        columns.push_back(c);
      }
      continue;
    }
    if (f.size() != width) return fail("expected " + std::to_string(width) + " fields, found " + std::to_string(f.size()));
    char* end = nullptr;
    std::string ms = Trim(f[1]);
    double millis = std::strtod(ms.c_str(), &end);
    if (ms.empty() || *end != '\0') return fail("the milliseconds column holds '" + ms + "'");
    if (out.seconds.empty()) out.firstTime = Trim(f[0]);
    out.lastTime = Trim(f[0]);
    // A watch restarted on the same log counts its milliseconds from 0
    // again: its rows go after the earlier ones, by their time column
    // when it can be read, otherwise right behind the last row.
    if (!out.seconds.empty() && millis < lastMillis) {
      const QDateTime first = QDateTime::fromString(QString::fromStdString(out.firstTime), Qt::ISODateWithMs);
      const QDateTime now = QDateTime::fromString(QString::fromStdString(out.lastTime), Qt::ISODateWithMs);
      const double since = first.isValid() && now.isValid() ? first.msecsTo(now) / 1000.0 : out.seconds.back();
      offset = std::max(since, out.seconds.back()) - millis / 1000.0;
    }
    lastMillis = millis;
    out.seconds.push_back(offset + millis / 1000.0);
    bool failed = false;
    for (const Column& c : columns) {
      if (c.kind == Column::kIgnored) continue;
      std::string cell = Trim(f[c.field]);
      int count = c.kind == Column::kInputImage ? 32 : 1;
      if (cell.empty()) {
        failed = true;
        for (int s = 0; s < count; ++s) out.series[c.firstSeries + s].values.push_back(std::nullopt);
        continue;
      }
      unsigned long long value = std::strtoull(cell.c_str(), &end, c.kind == Column::kInputImage ? 16 : 10);
      if (*end != '\0') return fail("column " + std::to_string(c.field + 1) + " holds '" + cell + "'");
      for (int s = 0; s < count; ++s) {
        double v = c.kind == Column::kInputImage ? static_cast<double>((value >> s) & 1u) : static_cast<double>(value);
        out.series[c.firstSeries + s].values.push_back(v);
      }
    }
    out.failed.push_back(failed);
  }
  if (width == 0) return fail("the file is empty");
  log = out;
  return true;
}

bool LoadWatchCsv(const std::string& path, WatchLog& log, std::string* why) {
  std::string text;
  const int error = dqcore::ReadFileBytes(path, text);
  std::string reason;
  if (error == 0 && ParseWatchCsv(text, log, &reason)) return true;
  if (why != nullptr) *why = path + ": " + (error != 0 ? std::strerror(error) : reason);
  return false;
}

}  // namespace dqreport
