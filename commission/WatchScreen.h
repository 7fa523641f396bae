// What a watch shows: on a terminal a table redrawn in place after every
// sample, otherwise one line per sample (for a pipe or a file).
#pragma once

#include <ostream>

#include "WatchSample.h"

namespace dqcommission {

class WatchScreen {
 public:
  WatchScreen(std::ostream& out, const WatchSources& sources, bool table) : out_(out), sources_(sources), table_(table) {}

  void Show(const WatchSample& sample, int64_t samples, int64_t failed);

 private:
  void ShowLine(const WatchSample& sample);
  void ShowTable(const WatchSample& sample, int64_t samples, int64_t failed);

  std::ostream& out_;
  WatchSources sources_;
  bool table_;
  int linesDrawn_ = 0;
};

}  // namespace dqcommission
