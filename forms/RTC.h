// Unit RTC: the module clock window. Shows the module's time and date every
// 200 ms and the recorded power failure (read once per opening), and sets
// the module clock from the PC's local time.
#pragma once

#include "LiveDialog.h"

class QLabel;
class QPushButton;
class QTimer;

class TForm3 : public TLiveDialog {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* parent = nullptr);

  bool PowerFailureRead() const { return powerFailureRead_; }

 public slots:
  void FormCreate();
  void FormShow() override;
  void Timer1Timer();
  void Button1Click();  // "Nastavit čas"
  void Button2Click();  // "Cancel"

 private:
  enum class TValueKind { Time, Date };
  // Reads one time or date (command 100) into `label`; on failure shows the
  // driver's text and returns false.
  bool ReadValue(uint8_t subcode, TValueKind kind, QLabel* label, QString& statusText);
  // One clock write (command 101); on failure shows the driver's text.
  bool WriteValue(uint8_t subcode, uint8_t first, uint8_t second, uint8_t third);

  QLabel* Label4 = nullptr;  // power failure start: time
  QLabel* Label5 = nullptr;  // power failure end: time
  QLabel* Label6 = nullptr;  // module time
  QLabel* Label7 = nullptr;  // power failure start: date
  QLabel* Label8 = nullptr;  // power failure end: date
  QLabel* Label9 = nullptr;  // module date
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QTimer* Timer1 = nullptr;
  bool powerFailureRead_ = false;
};
