// The report's plot of a watch log: the inputs that changed as stacked
// 0/1 traces, and the counters that changed as lines, over the seconds
// since the start; failed samples are marked.
#pragma once

#include <QPainter>
#include <QRectF>

#include "report/WatchCsv.h"

namespace dqreport {

// Series worth drawing: the inputs, or the counters, whose value changed.
std::vector<const WatchSeries*> ChangingSeries(const WatchLog& log, bool digital);

// Draws the chosen series into `area`; dotsPerMm scales lines and fonts.
void DrawInputsPlot(QPainter& painter, const QRectF& area, const WatchLog& log,
                    const std::vector<const WatchSeries*>& inputs, double dotsPerMm);
void DrawCountersPlot(QPainter& painter, const QRectF& area, const WatchLog& log,
                      const std::vector<const WatchSeries*>& counters, double dotsPerMm);

}  // namespace dqreport
