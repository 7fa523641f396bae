// Small pieces every window shares: the numbered-panel status bar, the link
// check, the message pump, and the Windows-1250 <-> QString boundary.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "Dekl.h"

// " Připojení k modulu není inicializováno."
extern const QString kLinkNotInitialisedText;

// Windows-1250 bytes of the link layer to a QString and back.
QString FromCp1250(const std::string& bytes);
std::string ToCp1250(const QString& text);

// The record may be used for an exchange: initialised and a non-zero handle.
bool LinkReady(const TConnectionConfig* config);

// Process all pending window messages, then sleep 1 ms.
void Pump();

// Text of a driver status or code (DriverErrorText + ErrorTextFromBuffer) as
// a QString, without a leading blank.
QString DriverText(TInterfaceType type, int32_t code);

// A status bar of numbered panels (index 0 is the first panel). Setting a
// text repaints the bar at once, so progress shows while the UI thread is
// busy with exchanges.
class TStatusBar : public QWidget {
  Q_OBJECT
 public:
  // widths: fixed widths in pixels; 0 lets the panel stretch.
  TStatusBar(int panelCount, QWidget* parent = nullptr, const std::vector<int>& widths = {});
  void SetPanelText(int index, const QString& text);
  QString PanelText(int index) const;
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  QLabel* Panel(int index) const;

 private:
  std::vector<QLabel*> panels_;
};
