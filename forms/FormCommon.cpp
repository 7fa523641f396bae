#include "FormCommon.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <chrono>
#include <thread>

#include "Txxx847.h"

const QString kLinkNotInitialisedText = QStringLiteral(" Připojení k modulu není inicializováno.");

QString FromCp1250(const std::string& bytes) { return QString::fromStdString(Utf8FromCp1250(bytes)); }

std::string ToCp1250(const QString& text) { return Cp1250FromUtf8(text.toStdString()); }

bool LinkReady(const TConnectionConfig* config) {
  return config != nullptr && config->Initialized && config->DriverHandle != 0;
}

void Pump() {
  QCoreApplication::processEvents();
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

QString DriverText(TInterfaceType type, int32_t code) { return FromCp1250(DriverErrorString(type, code)); }

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen();
  if (screen == nullptr) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

void AddBaudRateItems(QComboBox* box) {
  for (int code = 0; code < kBaudCodeCount; ++code)
    box->addItem(QString::number(BaudRateFromCode(static_cast<uint8_t>(code))) + QStringLiteral(" Bd"));
}

QFrame* NewValuePanel(const QString& objectName, QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(objectName);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setLineWidth(2);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, Qt::white);
  panel->setPalette(palette);
  return panel;
}

QWidget* ChainFieldsBeforeButtons(QWidget* window, const std::vector<QPushButton*>& buttons) {
  std::vector<QWidget*> chain;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    // Pop-ups of drop-down lists are windows of their own.
    if (widget->window() != window || !(widget->focusPolicy() & Qt::TabFocus)) continue;
    if (std::find(buttons.begin(), buttons.end(), widget) != buttons.end()) continue;
    chain.push_back(widget);
  }
  QWidget* firstField = chain.empty() ? nullptr : chain.front();
  chain.insert(chain.end(), buttons.begin(), buttons.end());
  for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
  return firstField;
}

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

QSize TStatusPanel::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  const int frame = 2 * (frameWidth() + margin());
  return QSize(4 * metrics.averageCharWidth() + frame, metrics.height() + frame);
}

QSize TStatusPanel::minimumSizeHint() const { return sizeHint(); }

QRect TStatusPanel::TextRect() const {
  QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  // As QLabel: a framed label without an indent of its own keeps half an
  // "x" from the frame.
  const int shift = indent() >= 0 ? indent()
                                  : (frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0);
  const Qt::Alignment horizontal = QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignHorizontal_Mask;
  if (horizontal & Qt::AlignLeft)
    area.setLeft(area.left() + shift);
  else if (horizontal & Qt::AlignRight)
    area.setRight(area.right() - shift);
  return area;
}

QString TStatusPanel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(0, TextRect().width()));
}

void TStatusPanel::FitTexts(const QStringList& texts) {
  // What the frame, the margins and the shift of TextRect take, at any width.
  const int overhead = width() - TextRect().width();
  const QFontMetrics metrics = fontMetrics();
  int widest = 0;
  for (const QString& text : texts) widest = std::max(widest, metrics.horizontalAdvance(text));
  // One pixel more: elidedText measures through a layout that may round up.
  setMinimumWidth(std::max(minimumWidth(), widest + overhead + 1));
}

void TStatusPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  const QString shown = ShownText();
  const QString tip = shown == text() ? QString() : text();
  if (toolTip() != tip) setToolTip(tip);
  style()->drawItemText(&painter, TextRect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                        isEnabled(), shown, foregroundRole());
}

TStatusBar::TStatusBar(int panelCount, QWidget* parent, const std::vector<int>& widths) : QWidget(parent) {
  setObjectName(QStringLiteral("StatusBar1"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  for (int i = 0; i < panelCount; ++i) {
    auto* panel = new TStatusPanel(this);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setMinimumHeight(fontMetrics().height() + 6);
    int width = i < static_cast<int>(widths.size()) ? widths[static_cast<size_t>(i)] : 0;
    if (width > 0) {
      panel->setFixedWidth(width);
      layout->addWidget(panel);
    } else {
      panel->setMinimumWidth(20);
      layout->addWidget(panel, 1);
    }
    panels_.push_back(panel);
  }
}

TStatusPanel* TStatusBar::Panel(int index) const {
  if (index < 0 || index >= PanelCount()) return nullptr;
  return panels_[static_cast<size_t>(index)];
}

void TStatusBar::SetPanelText(int index, const QString& text) {
  TStatusPanel* panel = Panel(index);
  if (panel == nullptr) return;
  panel->setText(text);
  repaint();
}

QString TStatusBar::PanelText(int index) const {
  TStatusPanel* panel = Panel(index);
  return panel != nullptr ? panel->text() : QString();
}
