// Small pieces every window shares: the numbered-panel status bar, the link
// check, the message pump, and the Windows-1250 <-> QString boundary.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <string>
#include <vector>

class QFrame;
class QPaintEvent;
class QPushButton;

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

// Moves a window so that its frame is centred on its screen.
void CentreOnScreen(QWidget* window);

// The white sunken panel that holds a window's value labels.
QFrame* NewValuePanel(const QString& objectName, QWidget* parent);

// The rate list of a window, "600 Bd" to "115200 Bd": item i is baud code i.
void AddBaudRateItems(QComboBox* box);

// Keyboard focus order of a dialog: its fields (every control a Tab
// reaches, in the order they were created) first, then `buttons` in the
// order given. Returns the first field, or nullptr when there is none.
// The opener gives the window focus on a control that changes nothing in
// the module, so a stray Space or Enter right after opening writes nothing.
QWidget* ChainFieldsBeforeButtons(QWidget* window, const std::vector<QPushButton*>& buttons);

// A one-line status panel whose size does not depend on its text: a text
// too long for the panel is elided at its end on screen and given whole in
// the tooltip, so a long message never resizes or moves its window. text()
// is always the whole text.
class TStatusPanel : public QLabel {
  Q_OBJECT
 public:
  explicit TStatusPanel(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // The text as painted in the current width.
  QString ShownText() const;
  // Widens the panel, never narrows it, so that each of `texts` shows whole
  // at the panel's present font; its window does that when it is created,
  // with every text it knows it can show.
  void FitTexts(const QStringList& texts);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect TextRect() const;
};

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
  TStatusPanel* Panel(int index) const;

 private:
  std::vector<TStatusPanel*> panels_;
};
