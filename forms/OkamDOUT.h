// Unit OkamDOUT: the digital outputs write window. The user ticks the wanted
// state of DOUT0-DOUT31 and writes all 32 at once; nothing is read back.
#pragma once

#include <array>

#include "LiveDialog.h"

class QCheckBox;
class QPushButton;

class TForm9 : public TLiveDialog {
  Q_OBJECT
 public:
  explicit TForm9(QWidget* parent = nullptr);

 public slots:
  void FormCreate();
  void Button1Click();  // "Zapsat"
  void Button2Click();  // "Cancel"

 private:
  std::array<QCheckBox*, 32> checkBoxes_{};
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
};
