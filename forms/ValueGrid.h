// The 32-channel grid of the live windows: four columns of eight name labels
// (Label1-Label32), each column beside a white sunken panel (Panel1-Panel4)
// holding the eight value labels level with the names (Label33-Label64, so
// channel n shows in Label(33+n)).
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>

class QLabel;

constexpr int kGridChannels = 32;

// Bit text rule: "1" when bit `bit` of `byte` is set, "0" when it is clear
// or when the index lies outside 0-7.
QString BitText(uint8_t byte, int bit);

// The 32 captions `pattern`.arg(n), channel 0 first ("DIN%1": "DIN0" ..).
QStringList NumberedNames(const QString& pattern);

class TValueGrid : public QWidget {
  Q_OBJECT
 public:
  // names: the 32 captions, channel 0 first. widestValue sizes the value
  // labels so that no value ever resizes the window.
  TValueGrid(const QStringList& names, const QString& widestValue, Qt::Alignment valueAlignment,
             QWidget* parent = nullptr);

  QLabel* NameLabel(int channel) const;
  QLabel* ValueLabel(int channel) const;
  void SetValue(int channel, const QString& text);
  // Every value label, channel 0 to 31.
  void SetAllValues(const QString& text);
  // A 32-bit bit image, byte 0 first: channel 8k+i from bit i of byte k,
  // every label set, channel 0 to 31.
  void ShowBitImage(uint8_t byte0, uint8_t byte1, uint8_t byte2, uint8_t byte3);

 private:
  std::array<QLabel*, kGridChannels> names_{};
  std::array<QLabel*, kGridChannels> values_{};
};
