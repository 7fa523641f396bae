#include "WatchScreen.h"

#include <cstdio>
#include <sstream>

#include "LocalTime.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

const char* const kUnread = "-";

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// Bits lo..lo+7 of an image as "0 1 0 ...".
std::string Bits(uint32_t image, int lo) {
  std::string text;
  for (int bit = lo; bit < lo + 8; ++bit) text += std::string(bit > lo ? " " : "") + ((image >> bit) & 1u ? "1" : "0");
  return text;
}

// The named status bits that are set, e.g. "FN PWR".
std::string StatusNames(uint32_t status) {
  static const struct {
    int bit;
    const char* name;
  } kNames[] = {{dqcmd::kStatusFn, "FN"},
                {dqcmd::kStatusPrf, "PRF"},
                {dqcmd::kStatusPwr, "PWR"},
                {dqcmd::kStatusRst, "RST"},
                {dqcmd::kStatusErr24, "ERR24"}};
  std::string text;
  for (const auto& n : kNames) {
    if ((status >> n.bit) & 1u) text += std::string(text.empty() ? "" : " ") + n.name;
  }
  return text;
}

}  // namespace

void WatchScreen::Show(const WatchSample& sample, int64_t samples, int64_t failed) {
  if (table_) ShowTable(sample, samples, failed);
  else ShowLine(sample);
  out_.flush();
}

void WatchScreen::ShowLine(const WatchSample& sample) {
  out_ << IsoLocalTime(sample.when) << ' ' << sample.elapsedMs;
  if (sources_.inputs) out_ << " DIN " << (sample.hasInputs ? Hex32(sample.inputs) : kUnread);
  if (sources_.counters) {
    out_ << " CNT";
    for (int n = 0; n < kChannelCount; ++n) {
      out_ << ' ';
      if (n < sample.countersRead) out_ << sample.counters[n];
      else out_ << kUnread;
    }
  }
  if (sources_.status) out_ << " SR " << (sample.hasStatus ? Hex32(sample.status) : kUnread);
  if (sample.error != 0) out_ << " error " << sample.error << ": " << sample.errorText;
  out_ << '\n';
}

void WatchScreen::ShowTable(const WatchSample& sample, int64_t samples, int64_t failed) {
  std::ostringstream t;
  t << IsoLocalTime(sample.when) << "  +" << sample.elapsedMs / 1000 << " s  samples " << samples << ", failed "
    << failed << "\n";
  if (sources_.inputs) {
    for (int lo = 0; lo < kChannelCount; lo += 8) {
      char label[16];
      std::snprintf(label, sizeof label, "DIN%d-%d", lo, lo + 7);
      char line[64];
      std::snprintf(line, sizeof line, "%-10s%s\n", label, sample.hasInputs ? Bits(sample.inputs, lo).c_str() : kUnread);
      t << line;
    }
  }
  if (sources_.counters) {
    for (int row = 0; row < 8; ++row) {
      for (int col = 0; col < 4; ++col) {
        const int n = col * 8 + row;
        char cell[40];
        const std::string value = n < sample.countersRead ? std::to_string(sample.counters[n]) : kUnread;
        std::snprintf(cell, sizeof cell, "CNT %-2d %10s   ", n, value.c_str());
        t << cell;
      }
      t << "\n";
    }
  }
  if (sources_.status) {
    t << "SR  " << (sample.hasStatus ? Hex32(sample.status) + "  " + StatusNames(sample.status) : kUnread) << "\n";
  }
  t << (sample.error != 0 ? "error " + std::to_string(sample.error) + ": " + sample.errorText : std::string("ok"))
    << "\n";

  // Back to the table's first line, each line cleared to its end before it
  // is written again.
  if (linesDrawn_ > 0) out_ << "\x1b[" << linesDrawn_ << "F";
  std::string text = t.str();
  int lines = 0;
  std::string redrawn;
  size_t from = 0;
  for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1, ++lines)
    redrawn += text.substr(from, at - from) + "\x1b[K\n";
  out_ << redrawn << "\x1b[J";
  linesDrawn_ = lines;
}

}  // namespace dqcommission
