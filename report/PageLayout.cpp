#include "report/PageLayout.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QRegularExpression>

namespace dqreport {

namespace {

constexpr double kMarginMm = 18;
constexpr double kHeaderMm = 8;   // header line above the text area
constexpr double kFooterMm = 8;   // page number below it
constexpr double kBodyPt = 9.5;
constexpr double kSmallPt = 8;
constexpr const char* kFamily = "DejaVu Sans";
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// Word wrap; a text with a word wider than its box (a time stamp, a path)
// is broken anywhere instead, as it would otherwise run over the page.
int WrapFlags(const QFontMetricsF& metrics, double width, const QString& text) {
  static const QRegularExpression kBlanks(QStringLiteral("\\s+"));
  for (const QString& word : text.split(kBlanks, Qt::SkipEmptyParts)) {
    if (metrics.horizontalAdvance(word) > width) return kTextFlags | Qt::TextWrapAnywhere;
  }
  return kTextFlags;
}

}  // namespace

PageLayout::PageLayout(QPdfWriter& writer, QPainter& painter, QString header)
    : writer_(writer), painter_(painter), header_(std::move(header)) {
  dotsPerMm_ = writer_.resolution() / 25.4;
  QRectF page = writer_.pageLayout().fullRectPixels(writer_.resolution());
  text_ = QRectF(Mm(kMarginMm), Mm(kMarginMm + kHeaderMm), page.width() - 2 * Mm(kMarginMm),
                 page.height() - 2 * Mm(kMarginMm) - Mm(kHeaderMm + kFooterMm));
  NewPage();
}

QFont PageLayout::Font(double points, bool bold) const {
  QFont font(kFamily);
  // No ligatures: "fi" stays two letters, so the text can be searched and copied.
  font.setStyleStrategy(QFont::PreferNoShaping);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

void PageLayout::NewPage() {
  if (page_ > 0) writer_.newPage();
  ++page_;
  y_ = text_.top();
  painter_.setPen(Qt::black);
  painter_.setFont(Font(kSmallPt));
  QRectF head(text_.left(), Mm(kMarginMm), text_.width(), Mm(kHeaderMm - 2));
  painter_.drawText(head, Qt::AlignLeft | Qt::AlignBottom, header_);
  painter_.drawLine(QPointF(text_.left(), head.bottom() + Mm(1)), QPointF(text_.right(), head.bottom() + Mm(1)));
  QRectF foot(text_.left(), text_.bottom() + Mm(2), text_.width(), Mm(kFooterMm - 2));
  painter_.drawText(foot, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Page %1").arg(page_));
  if (!tableHeader_.isEmpty()) DrawRow(tableHeader_, tableWidths_, Font(kSmallPt, true), true);
}

void PageLayout::Room(double height) {
  if (y_ + height > text_.bottom() && y_ > text_.top() + Mm(1)) NewPage();
}

void PageLayout::Title(const QString& text) {
  QFont font = Font(18, true);
  double h = QFontMetricsF(font, &writer_).height() * 1.4;
  Room(h);
  painter_.setFont(font);
  painter_.drawText(QRectF(text_.left(), y_, text_.width(), h), Qt::AlignLeft | Qt::AlignVCenter, text);
  y_ += h + Mm(2);
}

void PageLayout::Heading(const QString& text) {
  QFont font = Font(12, true);
  double h = QFontMetricsF(font, &writer_).height() * 1.3;
  Room(h + Mm(12));  // keep a heading with the first lines of its section
  y_ += Mm(3);
  painter_.setFont(font);
  painter_.drawText(QRectF(text_.left(), y_, text_.width(), h), Qt::AlignLeft | Qt::AlignVCenter, text);
  y_ += h;
  painter_.drawLine(QPointF(text_.left(), y_), QPointF(text_.right(), y_));
  y_ += Mm(1.5);
}

void PageLayout::Field(const QString& label, const QString& value) {
  QFont font = Font(kBodyPt);
  QFontMetricsF metrics(font, &writer_);
  double labelWidth = Mm(48);
  QRectF valueBox(text_.left() + labelWidth, y_, text_.width() - labelWidth, 1e6);
  const int valueFlags = WrapFlags(metrics, valueBox.width(), value);
  double h = metrics.boundingRect(valueBox, valueFlags, value).height();
  h = std::max(h, metrics.height()) + Mm(0.8);
  Room(h);
  painter_.setFont(Font(kBodyPt, true));
  painter_.drawText(QRectF(text_.left(), y_, labelWidth, h), kTextFlags, label);
  painter_.setFont(font);
  painter_.drawText(QRectF(text_.left() + labelWidth, y_, text_.width() - labelWidth, h), valueFlags, value);
  y_ += h;
}

void PageLayout::Paragraph(const QString& text) {
  QFont font = Font(kBodyPt);
  QFontMetricsF metrics(font, &writer_);
  const int flags = WrapFlags(metrics, text_.width(), text);
  double h = metrics.boundingRect(QRectF(text_.left(), 0, text_.width(), 1e6), flags, text).height() + Mm(1);
  Room(h);
  painter_.setFont(font);
  painter_.drawText(QRectF(text_.left(), y_, text_.width(), h), flags, text);
  y_ += h;
}

double PageLayout::RowHeight(const QStringList& cells, const std::vector<double>& widths, const QFont& font) const {
  QFontMetricsF metrics(font, &writer_);
  double h = metrics.height();
  for (int i = 0; i < cells.size() && i < static_cast<int>(widths.size()); ++i) {
    QRectF box(0, 0, widths[i] * text_.width() - Mm(1.5), 1e6);
    h = std::max(h, metrics.boundingRect(box, WrapFlags(metrics, box.width(), cells[i]), cells[i]).height());
  }
  return h + Mm(0.8);
}

void PageLayout::DrawRow(const QStringList& cells, const std::vector<double>& widths, const QFont& font, bool rule) {
  double h = RowHeight(cells, widths, font);
  QFontMetricsF metrics(font, &writer_);
  painter_.setFont(font);
  double x = text_.left();
  for (int i = 0; i < cells.size() && i < static_cast<int>(widths.size()); ++i) {
    const double width = widths[i] * text_.width() - Mm(1.5);
    painter_.drawText(QRectF(x, y_, width, h), WrapFlags(metrics, width, cells[i]), cells[i]);
    x += widths[i] * text_.width();
  }
  y_ += h;
  if (rule) painter_.drawLine(QPointF(text_.left(), y_), QPointF(text_.right(), y_));
  y_ += Mm(0.4);
}

void PageLayout::TableHeader(const QStringList& cells, const std::vector<double>& widths) {
  QFont font = Font(kSmallPt, true);
  Room(3 * RowHeight(cells, widths, font));
  tableHeader_ = cells;
  tableWidths_ = widths;
  DrawRow(cells, widths, font, true);
}

void PageLayout::TableRow(const QStringList& cells, const std::vector<double>& widths) {
  QFont font = Font(kSmallPt);
  Room(RowHeight(cells, widths, font));
  DrawRow(cells, widths, font, false);
}

void PageLayout::Gap(double mm) { y_ += Mm(mm); }

QRectF PageLayout::Reserve(double heightMm) {
  EndTable();
  Room(Mm(heightMm));
  QRectF area(text_.left(), y_, text_.width(), Mm(heightMm));
  y_ += Mm(heightMm);
  return area;
}

}  // namespace dqreport
