#include "report/WatchPlot.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace dqreport {

namespace {

const QColor kPalette[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                           QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                           QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f)};

// The pen of series i: eight colours, then the eight again with another
// dash pattern, so that no two of the 32 counters look alike.
QPen SeriesPen(size_t i, double dpm) {
  static const Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine};
  QPen pen(kPalette[i % 8], dpm * 0.35);
  pen.setStyle(kStyles[(i / 8) % 4]);
  return pen;
}

QFont PlotFont(double dotsPerMm, double mm) {
  QFont font("DejaVu Sans");
  font.setStyleStrategy(QFont::PreferNoShaping);
  font.setPixelSize(std::max(1, static_cast<int>(mm * dotsPerMm)));
  return font;
}

// A round step of about range/targetSteps: 1, 2 or 5 times a power of ten.
double NiceStep(double range, int targetSteps) {
  if (range <= 0) return 1;
  double raw = range / targetSteps;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

QString Number(double v) { return QString::number(v, 'g', 10); }

// The time axis along the bottom of `plot`, with grid lines and failed samples.
void TimeAxis(QPainter& p, const QRectF& plot, const WatchLog& log, double t0, double t1, double dpm) {
  p.setFont(PlotFont(dpm, 2.4));
  double step = NiceStep(t1 - t0, 8);
  for (double t = std::ceil(t0 / step) * step; t <= t1 + 1e-9; t += step) {
    double x = plot.left() + (t - t0) / (t1 - t0) * plot.width();
    p.setPen(QPen(QColor(225, 225, 225), dpm * 0.15));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    p.setPen(QPen(Qt::black, dpm * 0.15));
    p.drawText(QRectF(x - 10 * dpm, plot.bottom() + dpm, 20 * dpm, 4 * dpm), Qt::AlignHCenter | Qt::AlignTop, Number(t));
  }
  p.drawText(QRectF(plot.left(), plot.bottom() + 4.5 * dpm, plot.width(), 4 * dpm), Qt::AlignHCenter | Qt::AlignTop,
             QStringLiteral("seconds since the start"));
  // Failed samples: a red tick under the axis.
  p.setPen(QPen(QColor(200, 0, 0), dpm * 0.3));
  for (size_t i = 0; i < log.failed.size(); ++i) {
    if (!log.failed[i]) continue;
    double x = plot.left() + (log.seconds[i] - t0) / (t1 - t0) * plot.width();
    p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + dpm));
  }
  p.setPen(QPen(Qt::black, dpm * 0.2));
  p.drawRect(plot);
}

void Span(const WatchLog& log, double& t0, double& t1) {
  t0 = log.seconds.empty() ? 0 : log.seconds.front();
  t1 = log.seconds.empty() ? 1 : log.seconds.back();
  if (t1 <= t0) t1 = t0 + 1;
}

// A series as a path; a failed sample breaks the line.
QPainterPath Trace(const WatchLog& log, const WatchSeries& s, double t0, double t1, const QRectF& plot,
                   double low, double high, bool steps) {
  QPainterPath path;
  bool open = false;
  double lastY = 0;
  for (size_t i = 0; i < s.values.size() && i < log.seconds.size(); ++i) {
    if (!s.values[i]) {
      open = false;
      continue;
    }
    double x = plot.left() + (log.seconds[i] - t0) / (t1 - t0) * plot.width();
    double y = plot.bottom() - (*s.values[i] - low) / (high - low) * plot.height();
    if (!open) {
      path.moveTo(x, y);
      open = true;
    } else {
      if (steps) path.lineTo(x, lastY);
      path.lineTo(x, y);
    }
    lastY = y;
  }
  return path;
}

}  // namespace

std::vector<const WatchSeries*> ChangingSeries(const WatchLog& log, bool digital) {
  std::vector<const WatchSeries*> out;
  for (const WatchSeries& s : log.series) {
    if (s.digital != digital) continue;
    std::optional<double> first;
    bool changed = false;
    for (const auto& v : s.values) {
      if (!v) continue;
      if (!first) first = v;
      changed = changed || *v != *first;
    }
    if (changed) out.push_back(&s);
  }
  return out;
}

void DrawInputsPlot(QPainter& p, const QRectF& area, const WatchLog& log, const std::vector<const WatchSeries*>& inputs,
                    double dpm) {
  p.save();
  QRectF plot(area.left() + 14 * dpm, area.top() + 2 * dpm, area.width() - 16 * dpm, area.height() - 12 * dpm);
  double t0 = 0;
  double t1 = 1;
  Span(log, t0, t1);
  double lane = plot.height() / std::max<size_t>(inputs.size(), 1);
  p.setRenderHint(QPainter::Antialiasing);
  for (size_t i = 0; i < inputs.size(); ++i) {
    QRectF band(plot.left(), plot.top() + i * lane + lane * 0.2, plot.width(), lane * 0.6);
    p.setPen(QPen(Qt::black, dpm * 0.15));
    p.setFont(PlotFont(dpm, 2.4));
    p.drawText(QRectF(area.left(), plot.top() + i * lane, 13 * dpm, lane), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromStdString(inputs[i]->name));
    p.setPen(SeriesPen(i % 8, dpm));
    p.drawPath(Trace(log, *inputs[i], t0, t1, band, 0, 1, true));
  }
  TimeAxis(p, plot, log, t0, t1, dpm);
  p.restore();
}

void DrawCountersPlot(QPainter& p, const QRectF& area, const WatchLog& log,
                      const std::vector<const WatchSeries*>& counters, double dpm) {
  p.save();
  // The legend to the right of the plot, in as many columns as it needs.
  const double plotHeight = area.height() - 12 * dpm;
  const double entry = 4 * dpm;
  const double legendWidth = 22 * dpm;
  const size_t perColumn = std::max<size_t>(1, static_cast<size_t>(plotHeight / entry));
  const size_t columns = std::max<size_t>(1, (counters.size() + perColumn - 1) / perColumn);
  QRectF plot(area.left() + 20 * dpm, area.top() + 2 * dpm, area.width() - 22 * dpm - columns * legendWidth,
              plotHeight);
  double t0 = 0;
  double t1 = 1;
  Span(log, t0, t1);
  double low = 0;
  double high = 1;
  bool first = true;
  for (const WatchSeries* s : counters) {
    for (const auto& v : s->values) {
      if (!v) continue;
      low = first ? *v : std::min(low, *v);
      high = first ? *v : std::max(high, *v);
      first = false;
    }
  }
  if (high <= low) high = low + 1;
  double step = NiceStep(high - low, 5);
  low = std::floor(low / step) * step;
  high = std::ceil(high / step) * step;
  p.setFont(PlotFont(dpm, 2.4));
  for (double v = low; v <= high + 1e-9; v += step) {
    double y = plot.bottom() - (v - low) / (high - low) * plot.height();
    p.setPen(QPen(QColor(225, 225, 225), dpm * 0.15));
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    p.setPen(QPen(Qt::black, dpm * 0.15));
    p.drawText(QRectF(area.left(), y - 2 * dpm, 19 * dpm, 4 * dpm), Qt::AlignRight | Qt::AlignVCenter, Number(v));
  }
  p.setRenderHint(QPainter::Antialiasing);
  for (size_t i = 0; i < counters.size(); ++i) {
    p.setPen(SeriesPen(i, dpm));
    p.drawPath(Trace(log, *counters[i], t0, t1, plot, low, high, false));
    const double x = plot.right() + static_cast<double>(i / perColumn) * legendWidth;
    const double y = plot.top() + static_cast<double>(i % perColumn) * entry;
    p.drawLine(QPointF(x + 1 * dpm, y + entry / 2), QPointF(x + 7 * dpm, y + entry / 2));
    p.setPen(QPen(Qt::black, dpm * 0.15));
    p.drawText(QRectF(x + 8 * dpm, y, legendWidth - 8 * dpm, entry), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(counters[i]->name));
  }
  TimeAxis(p, plot, log, t0, t1, dpm);
  p.restore();
}

}  // namespace dqreport
