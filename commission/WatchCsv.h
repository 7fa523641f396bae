// The columns of a watch's CSV log and its rows. Columns: time (local,
// ISO 8601 with the UTC offset), ms since the start, the values chosen --
// DIN0..DIN31 (0/1), CNT 0..CNT 31 (unsigned decimal), SR0..SR31 (status
// bits, 0/1), or with masks one column "DIN" and one "SR" holding the
// 32-bit image as 0x%08X -- then "error" and "error text". A cell whose
// value was not read in the sample is empty.
#pragma once

#include <string>

#include "WatchSample.h"

namespace dqcommission {

std::string WatchCsvHeader(const WatchSources& sources, bool masks);
std::string WatchCsvRow(const WatchSample& sample, const WatchSources& sources, bool masks);

// A CSV cell: quoted when it holds a separator, a quote or a line end.
std::string CsvCell(const std::string& text);

}  // namespace dqcommission
