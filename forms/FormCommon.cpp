#include "FormCommon.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
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

TStatusBar::TStatusBar(int panelCount, QWidget* parent, const std::vector<int>& widths) : QWidget(parent) {
  setObjectName(QStringLiteral("StatusBar1"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  for (int i = 0; i < panelCount; ++i) {
    auto* panel = new QLabel(this);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
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

QLabel* TStatusBar::Panel(int index) const {
  if (index < 0 || index >= PanelCount()) return nullptr;
  return panels_[static_cast<size_t>(index)];
}

void TStatusBar::SetPanelText(int index, const QString& text) {
  QLabel* panel = Panel(index);
  if (panel == nullptr) return;
  panel->setText(text);
  repaint();
}

QString TStatusBar::PanelText(int index) const {
  QLabel* panel = Panel(index);
  return panel != nullptr ? panel->text() : QString();
}
