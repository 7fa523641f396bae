// Unit OkamDIN: the live digital inputs window. Polls the 32 inputs DIN0-DIN31
// every 100 ms while it exists and shows each as 0 or 1.
#pragma once

#include "LiveDialog.h"

class QPushButton;
class QTimer;
class TValueGrid;

class TForm11 : public TLiveDialog {
  Q_OBJECT
 public:
  explicit TForm11(QWidget* parent = nullptr);

 public slots:
  void FormCreate();
  void Timer1Timer();
  void Button1Click();

 private:
  TValueGrid* grid_ = nullptr;
  QPushButton* Button1 = nullptr;
  QTimer* Timer1 = nullptr;
};
