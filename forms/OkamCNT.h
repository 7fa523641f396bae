// Unit OkamCNT: the live counters window. Shows the 32 pulse counters,
// refreshed every 100 ms, and starts, stops and clears them. A click only
// records a request; the next tick sends it ahead of reading the counters.
#pragma once

#include "LiveDialog.h"

class QPushButton;
class QTimer;
class TValueGrid;

class TForm6 : public TLiveDialog {
  Q_OBJECT
 public:
  explicit TForm6(QWidget* parent = nullptr);

  bool ClearRequested() const { return clearRequest_; }
  bool ToggleRequested() const { return toggleRequest_; }

 public slots:
  void FormCreate();
  void FormShow() override;
  void Timer1Timer();
  void Button1Click();  // "Nulovat"
  void Button2Click();  // "Cancel"
  void Button3Click();  // run toggle, "Start" / "Stop"

 private:
  // Ends a tick: the status text, and polling on unless the window closes.
  void EndTick(const QString& statusText);

  TValueGrid* grid_ = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QTimer* Timer1 = nullptr;
  bool clearRequest_ = false;
  bool toggleRequest_ = false;
};
