#include "ValueGrid.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "FormCommon.h"

namespace {

constexpr int kColumns = 4;
constexpr int kRows = 8;
constexpr int kPanelPadding = 3;  // inside the sunken frame

}  // namespace

QString BitText(uint8_t byte, int bit) {
  if (bit < 0 || bit > 7) return QStringLiteral("0");
  return (byte >> bit) & 1u ? QStringLiteral("1") : QStringLiteral("0");
}

QStringList NumberedNames(const QString& pattern) {
  QStringList names;
  for (int n = 0; n < kGridChannels; ++n) names << pattern.arg(n);
  return names;
}

TValueGrid::TValueGrid(const QStringList& names, const QString& widestValue, Qt::Alignment valueAlignment,
                       QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("ValueGrid"));
  const int rowHeight = fontMetrics().height() + 4;
  const int valueWidth = fontMetrics().horizontalAdvance(widestValue) + 8;

  auto* columns = new QHBoxLayout(this);
  columns->setContentsMargins(0, 0, 0, 0);
  columns->setSpacing(12);
  for (int c = 0; c < kColumns; ++c) {
    QFrame* panel = NewValuePanel(QStringLiteral("Panel%1").arg(c + 1), this);
    auto* valueColumn = new QVBoxLayout(panel);
    valueColumn->setContentsMargins(kPanelPadding, kPanelPadding, kPanelPadding, kPanelPadding);
    valueColumn->setSpacing(0);

    // The names sit outside the panel; pad them by the panel's frame and
    // padding so that each name stays level with its value.
    const int pad = panel->frameWidth() + kPanelPadding;
    auto* nameColumn = new QVBoxLayout;
    nameColumn->setContentsMargins(0, pad, 0, pad);
    nameColumn->setSpacing(0);

    for (int r = 0; r < kRows; ++r) {
      const int channel = c * kRows + r;
      auto* name = new QLabel(channel < names.size() ? names[channel] : QString(), this);
      name->setObjectName(QStringLiteral("Label%1").arg(channel + 1));
      name->setTextFormat(Qt::PlainText);
      name->setFixedHeight(rowHeight);
      nameColumn->addWidget(name);
      names_[static_cast<size_t>(channel)] = name;

      auto* value = new QLabel(QStringLiteral("0"), panel);
      value->setObjectName(QStringLiteral("Label%1").arg(channel + 33));
      value->setTextFormat(Qt::PlainText);
      value->setFixedSize(valueWidth, rowHeight);
      value->setAlignment(valueAlignment | Qt::AlignVCenter);
      valueColumn->addWidget(value);
      values_[static_cast<size_t>(channel)] = value;
    }
    auto* pair = new QHBoxLayout;
    pair->setSpacing(8);
    pair->addLayout(nameColumn);
    pair->addWidget(panel, 0, Qt::AlignTop);
    columns->addLayout(pair);
  }
}

QLabel* TValueGrid::NameLabel(int channel) const {
  return channel >= 0 && channel < kGridChannels ? names_[static_cast<size_t>(channel)] : nullptr;
}

QLabel* TValueGrid::ValueLabel(int channel) const {
  return channel >= 0 && channel < kGridChannels ? values_[static_cast<size_t>(channel)] : nullptr;
}

void TValueGrid::SetValue(int channel, const QString& text) {
  if (QLabel* label = ValueLabel(channel)) label->setText(text);
}

void TValueGrid::SetAllValues(const QString& text) {
  for (QLabel* label : values_) label->setText(text);
}

void TValueGrid::ShowBitImage(uint8_t byte0, uint8_t byte1, uint8_t byte2, uint8_t byte3) {
  const uint8_t bytes[4] = {byte0, byte1, byte2, byte3};
  for (int channel = 0; channel < kGridChannels; ++channel)
    SetValue(channel, BitText(bytes[channel / 8], channel % 8));
}
