// A watch log read back for the report's plot: the header `watch` writes
// ("time,ms", its value columns, "error,error text"), then rows of local
// time (ISO 8601 with offset), milliseconds since the start, the values
// (DIN0..DIN31 as 0/1 and "CNT 0".."CNT 31" in decimal, or the DIN image in
// hexadecimal; the status register is not plotted), then an error code and
// an error text. A failed sample has empty value cells.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dqreport {

struct WatchSeries {
  std::string name;                         // "DIN3", "CNT 7"
  bool digital = false;                     // 0/1 trace (inputs) or a count
  std::vector<std::optional<double>> values;  // per sample; empty for a failed sample
};

struct WatchLog {
  std::string firstTime;  // time column of the first and last row
  std::string lastTime;
  std::vector<double> seconds;  // per sample, since the start
  std::vector<bool> failed;     // per sample
  std::vector<WatchSeries> series;
  int FailedCount() const;
};

// Parses the log's text. The input image column (DIN) is split into its 32
// inputs. False with `why` (the line and the reason) when the text is no
// watch log, another header included.
bool ParseWatchCsv(const std::string& text, WatchLog& log, std::string* why);
// Reads and parses the file; `why` then starts with its path.
bool LoadWatchCsv(const std::string& path, WatchLog& log, std::string* why);

}  // namespace dqreport
