// Unit StatReg: the status register window. Polls the module's 32-bit status
// register every 500 ms, shows it bit by bit and clears it on request.
#pragma once

#include "LiveDialog.h"

class QPushButton;
class QTimer;
class TValueGrid;

class TForm15 : public TLiveDialog {
  Q_OBJECT
 public:
  explicit TForm15(QWidget* parent = nullptr);

 public slots:
  void FormCreate();
  void Timer1Timer();
  void Button1Click();  // "Cancel"
  void Button2Click();  // "Vynulovat"

 private:
  TValueGrid* grid_ = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QTimer* Timer1 = nullptr;
};
