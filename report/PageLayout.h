// Flowing text, tables and reserved areas down A4 pages of a QPdfWriter,
// with a header line and a page number on every page.
#pragma once

#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

namespace dqreport {

class PageLayout {
 public:
  PageLayout(QPdfWriter& writer, QPainter& painter, QString header);

  void Title(const QString& text);
  void Heading(const QString& text);
  // A label and its value beside it; the value wraps within its column.
  void Field(const QString& label, const QString& value);
  void Paragraph(const QString& text);
  // One table row; widths are fractions of the text width. A header row is
  // bold and underlined; it is repeated when the table runs onto a new page.
  void TableHeader(const QStringList& cells, const std::vector<double>& widths);
  void TableRow(const QStringList& cells, const std::vector<double>& widths);
  void EndTable() { tableHeader_.clear(); }
  void Gap(double mm);
  // An area of the full text width and `heightMm`, on a new page when it
  // does not fit on this one.
  QRectF Reserve(double heightMm);

  double Mm(double mm) const { return mm * dotsPerMm_; }
  QFont Font(double points, bool bold = false) const;
  int Pages() const { return page_; }

 private:
  void Room(double height);  // a new page unless `height` fits
  void NewPage();
  double RowHeight(const QStringList& cells, const std::vector<double>& widths, const QFont& font) const;
  void DrawRow(const QStringList& cells, const std::vector<double>& widths, const QFont& font, bool rule);

  QPdfWriter& writer_;
  QPainter& painter_;
  QString header_;
  double dotsPerMm_;
  QRectF text_;  // the text area of a page
  double y_ = 0;
  int page_ = 0;
  QStringList tableHeader_;
  std::vector<double> tableWidths_;
};

}  // namespace dqreport
