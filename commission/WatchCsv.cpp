#include "WatchCsv.h"

#include <cstdio>

#include "LocalTime.h"

namespace dqcommission {

namespace {

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// The 32 cells of a bit image, or one hex cell; empty cells when unread.
void AppendImage(std::string& row, bool present, uint32_t image, bool masks) {
  if (masks) {
    row += ',';
    if (present) row += Hex32(image);
    return;
  }
  for (int bit = 0; bit < kChannelCount; ++bit) {
    row += ',';
    if (present) row += (image >> bit) & 1u ? '1' : '0';
  }
}

void AppendNames(std::string& header, const char* prefix, bool masks) {
  if (masks) {
    header += std::string(",") + prefix;
    return;
  }
  for (int n = 0; n < kChannelCount; ++n) header += "," + std::string(prefix) + std::to_string(n);
}

}  // namespace

std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string WatchCsvHeader(const WatchSources& sources, bool masks) {
  std::string header = "time,ms";
  if (sources.inputs) AppendNames(header, "DIN", masks);
  if (sources.counters) AppendNames(header, "CNT ", false);
  if (sources.status) AppendNames(header, "SR", masks);
  return header + ",error,error text";
}

std::string WatchCsvRow(const WatchSample& sample, const WatchSources& sources, bool masks) {
  std::string row = IsoLocalTime(sample.when) + "," + std::to_string(sample.elapsedMs);
  if (sources.inputs) AppendImage(row, sample.hasInputs, sample.inputs, masks);
  if (sources.counters) {
    for (int n = 0; n < kChannelCount; ++n) {
      row += ',';
      if (n < sample.countersRead) row += std::to_string(sample.counters[n]);
    }
  }
  if (sources.status) AppendImage(row, sample.hasStatus, sample.status, masks);
  row += ',';
  if (sample.error != 0) row += std::to_string(sample.error) + "," + CsvCell(sample.errorText);
  else row += ',';
  return row;
}

}  // namespace dqcommission
