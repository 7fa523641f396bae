#include "report/ReportPdf.h"

#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cstring>

#include "core/AtomicFile.h"
#include "core/BaudRates.h"
#include "core/ModuleCommands.h"
#include "report/OffscreenGui.h"
#include "report/PageLayout.h"
#include "report/WatchCsv.h"
#include "report/WatchPlot.h"

namespace dqreport {

namespace {

constexpr int kResolution = 300;  // dots per inch of the page

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

QString Hex(uint32_t value) { return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x"); }

// "0x00000005: DOUT0, DOUT2" or "0x00000000: none".
QString MaskText(uint32_t mask, const QString& prefix) {
  QStringList names;
  for (int n = 0; n < 32; ++n) {
    if (mask & (1u << n)) names << prefix + QString::number(n);
  }
  return Hex(mask) + ": " + (names.isEmpty() ? QStringLiteral("none") : names.join(", "));
}

QString StatusText(uint32_t status) {
  static const char* const kNames[8] = {nullptr, "FN", "PRF", nullptr, "PWR", "RST", "ERR24", nullptr};
  QStringList set;
  for (int bit = 0; bit < 32; ++bit) {
    if (!(status & (1u << bit))) continue;
    set << (bit < 8 && kNames[bit] != nullptr ? QString("%1 (bit %2)").arg(kNames[bit]).arg(bit)
                                               : QString("bit %1").arg(bit));
  }
  return Hex(status) + ": " + (set.isEmpty() ? QStringLiteral("no bit set") : set.join(", "));
}

QString ClockText(const std::tm& t) {
  return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                           t.tm_min, t.tm_sec);
}

QString Ms(double ms) { return QString::number(ms, 'f', ms < 10 ? 2 : 1) + " ms"; }

void Identification(PageLayout& page, const ReportData& d) {
  page.Title(QStringLiteral("Commissioning report"));
  page.Field("Site", Q(d.site));
  page.Field("Technician", Q(d.technician));
  page.Field("Date", Q(d.date));
  page.Heading("Module");
  page.Field("Identification", Q(d.moduleIdent));
  page.Field("Bus address", QString::number(d.address));
  page.Field("Link", Q(d.interfaceText) + QString(", %1 Bd").arg(d.baudRate));
  if (!d.module.error.empty()) page.Field("Not read", Q(d.module.error));
}

void Configuration(PageLayout& page, const ReportData& d) {
  const dqcommission::ModuleReadout& m = d.module;
  page.Heading("Configuration as read now");
  auto reg = [&](int r) -> QString {
    auto it = m.registers.find(r);
    return it == m.registers.end() ? QStringLiteral("not read") : QString::number(it->second);
  };
  page.Field("Address register", reg(dqcmd::kRegAddress) + "  (the bus address from the next power-up on)");
  QString baud = reg(dqcmd::kRegBaudCode);
  auto code = m.registers.find(dqcmd::kRegBaudCode);
  if (code != m.registers.end() && code->second < dqcore::kBaudCodeCount)
    baud += QString(" = %1 Bd").arg(dqcore::kBaudRates[code->second]);
  page.Field("Baud-rate code", baud);
  QStringList pulses;
  for (int c = 0; c < dqcmd::kPulseCounterCount; ++c) pulses << QString("CNT %1: %2").arg(c).arg(m.PulseNumber(c));
  page.Field("Pulse numbers", pulses.join(",  "));
  page.Field("Input negation", MaskText(m.Mask(dqcmd::kRegDinNegationBase), "DIN"));
  page.Field("Output negation", MaskText(m.Mask(dqcmd::kRegDoutNegationBase), "DOUT"));
  page.Field("Output initial states", MaskText(m.Mask(dqcmd::kRegDoutInitialBase), "DOUT"));
  QStringList raw;
  for (const auto& [r, v] : m.registers) raw << QString("%1=%2").arg(r, 2, 16, QLatin1Char('0')).arg(v, 2, 16, QLatin1Char('0'));
  page.Field("Registers (hex)", raw.join("  "));
  if (d.haveBackup) {
    page.Heading("Difference against the backup");
    page.Field("Backup file", Q(d.backupFile));
    if (d.differences.empty()) {
      page.Paragraph("The module's configuration is the same as in the backup.");
    } else {
      for (const std::string& line : d.differences) page.Paragraph(Q(line));
    }
  }
}

void ClockAndStatus(PageLayout& page, const ReportData& d) {
  const dqcommission::ModuleReadout& m = d.module;
  page.Heading("Clock and status register");
  if (m.clockRead) {
    page.Field("Module clock", ClockText(m.moduleClock));
    page.Field("PC clock", ClockText(m.pcClock));
    page.Field("Module minus PC", QString("%1 s").arg(m.clockDifference));
  } else {
    page.Field("Module clock", "not read");
  }
  if (m.powerFailRead) {
    const bool none = m.powerFailStart == "none" && m.powerFailEnd == "none";
    page.Field("Last power failure",
               none ? QStringLiteral("none recorded") : Q(m.powerFailStart) + "  to  " + Q(m.powerFailEnd));
  }
  page.Field("Status register", m.statusRead ? StatusText(m.statusRegister) : QStringLiteral("not read"));
}

void LinkTest(PageLayout& page, const ReportData& d) {
  const LinkTestFigures& f = d.linkTest;
  if (!f.present) return;
  page.Heading("Link test");
  QStringList outcomes;
  for (const auto& [name, count] : f.outcomes) outcomes << QString("%1: %2").arg(Q(name)).arg(count);
  page.Field("Exchanges by outcome", outcomes.join(",  "));
  // No latency without a successful exchange: never a made-up 0 ms.
  if (f.minMs && f.medianMs && f.p95Ms && f.p99Ms && f.maxMs) {
    page.Field("Latency", QString("min %1,  median %2,  p95 %3,  p99 %4,  max %5")
                              .arg(Ms(*f.minMs), Ms(*f.medianMs), Ms(*f.p95Ms), Ms(*f.p99Ms), Ms(*f.maxMs)));
  } else {
    page.Field("Latency", QStringLiteral("none: no exchange succeeded"));
  }
  page.Field("Exchanges per second", QString::number(f.exchangesPerSecond, 'f', 1));
  page.Field("Floor (wire time)", Ms(f.floorMs));
  page.Field("Verdict", Q(f.verdict));
}

void Checkout(PageLayout& page, const ReportData& d) {
  if (!d.haveCheckout) return;
  const dqcommission::CheckoutResults& c = d.checkout;
  using dqcommission::Verdict;
  page.Heading("I/O checkout");
  page.Field("Result file", Q(d.checkoutFile));
  page.Field("Checkout of", QString("module %1 at address %2").arg(Q(c.moduleIdent)).arg(c.address));
  page.Field("Outcome", QString("%1: %2").arg(dqcommission::EndName(c.end), Q(c.message)));
  page.Field("From / to", Q(c.started) + "  /  " + Q(c.finished));
  page.Field("Channels", QString("%1 passed, %2 failed, %3 skipped, %4 not checked")
                             .arg(c.Count(Verdict::kPass))
                             .arg(c.Count(Verdict::kFail))
                             .arg(c.Count(Verdict::kSkipped))
                             .arg(c.Count(Verdict::kNotChecked)));
  page.Field("Outputs afterwards", c.outputsWritten ? (c.outputsRestored ? QString("set to the initial states %1").arg(Hex(c.doutInitial))
                                                                         : QStringLiteral("NOT restored"))
                                                    : QStringLiteral("not written"));
  page.Gap(1.5);
  // Time wide enough for a stamp with milliseconds and UTC offset.
  const std::vector<double> widths = {0.09, 0.1, 0.18, 0.33, 0.3};
  page.TableHeader({"Channel", "Result", "Proven by", "Detail", "Time"}, widths);
  for (const dqcommission::ChannelResult& r : c.channels) {
    page.TableRow({Q(r.channel), dqcommission::VerdictName(r.verdict), Q(r.how), Q(r.detail), Q(r.time)}, widths);
  }
  page.EndTable();
}

bool Plot(PageLayout& page, QPainter& painter, const ReportData& d, std::string* why) {
  if (d.watchCsv.empty()) return true;
  WatchLog log;
  if (!LoadWatchCsv(d.watchCsv, log, why)) return false;
  page.Heading("Inputs and counters over the watch log");
  page.Field("Log file", Q(d.watchCsv));
  page.Field("Samples", QString("%1 from %2 to %3, %4 failed (red ticks)")
                            .arg(log.seconds.size())
                            .arg(Q(log.firstTime), Q(log.lastTime))
                            .arg(log.FailedCount()));
  std::vector<const WatchSeries*> inputs = ChangingSeries(log, true);
  std::vector<const WatchSeries*> counters = ChangingSeries(log, false);
  if (inputs.empty()) {
    page.Paragraph("No input changed during the log.");
  } else {
    QRectF area = page.Reserve(std::min<double>(14 + 7.0 * inputs.size(), 200));
    DrawInputsPlot(painter, area, log, inputs, page.Mm(1));
  }
  if (counters.empty()) {
    page.Paragraph("No counter changed during the log.");
  } else {
    QRectF area = page.Reserve(80);
    DrawCountersPlot(painter, area, log, counters, page.Mm(1));
  }
  return true;
}

void Signatures(PageLayout& page) {
  page.Heading("Signatures");
  page.Gap(10);
  page.Field("Technician", "Date: ______________    Signature: ______________________________");
  page.Gap(10);
  page.Field("Customer", "Date: ______________    Signature: ______________________________");
}

}  // namespace

bool DrawReportPdf(const ReportData& data, std::string& pdf, std::string* why) {
  EnsureGuiApplication();
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(kResolution);
    writer.setTitle(QStringLiteral("Commissioning report"));
    writer.setCreator(QStringLiteral("dq7184"));
    QPainter painter(&writer);
    QString header = QString("Commissioning report  \u2013  %1  \u2013  module %2 at address %3")
                         .arg(Q(data.site), Q(data.moduleIdent))
                         .arg(data.address);
    PageLayout page(writer, painter, header);
    Identification(page, data);
    Configuration(page, data);
    ClockAndStatus(page, data);
    LinkTest(page, data);
    Checkout(page, data);
    if (!Plot(page, painter, data, why)) return false;
    Signatures(page);
    painter.end();
  }
  pdf = buffer.data().toStdString();
  return true;
}

bool WriteReportPdf(const ReportData& data, const std::string& path, std::string* why) {
  std::string pdf;
  if (!DrawReportPdf(data, pdf, why)) return false;
  dqcore::SaveResult saved = dqcore::ReplaceFileAtomically(path, pdf);
  if (!saved.Ok()) {
    if (why != nullptr) *why = path + ": " + std::strerror(saved.error);
    return false;
  }
  return true;
}

}  // namespace dqreport
