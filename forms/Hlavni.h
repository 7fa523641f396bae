// Unit Hlavni: the main window. It owns the one shared connection record:
// creates it at start-up from the defaults and the settings file, hands it to
// every dialog opened from the menu, shows the connected module in its status
// bar, and at shut-down writes the settings file and closes the driver.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QString>
#include <string>

#include "Dekl.h"

class QCloseEvent;
class TStatusBar;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // Allocates the record; nullptr stands for a failed allocation.
  using ConfigAllocator = TConnectionConfig* (*)();

  // The program's window: settings file beside the executable.
  explicit TForm1(QWidget* parent = nullptr);
  // A window on another settings file (tests, tools); `allocate` replaces
  // the record's allocation when given.
  explicit TForm1(const std::string& settingsPath, ConfigAllocator allocate = nullptr, QWidget* parent = nullptr);
  ~TForm1() override;

  // The shared record; nullptr when it could not be created or after close.
  TConnectionConfig* Config() const { return config_; }
  const std::string& SettingsPath() const { return settingsPath_; }

  // The shut-down for a program that must end now, without any message box
  // (a second signal): the settings file is written unless a write was
  // already tried, a failure's message goes to standard error, and the
  // driver is closed. The record stays, since a box of the ordinary close
  // may still be on the stack. Returns false when the settings could not be
  // written.
  bool CloseWithoutBoxes();

 public slots:
  void FormCreate();
  void FormClose();
  void Pipojen1Click();
  void AdresaRychlost1Click();
  void NastavAIN1Click();
  void HodinovobvodRTC1Click();
  void NastavDIO1Click();
  void OkamAIN2Click();
  void OkamDIN2Click();
  void OkamDOUT1Click();
  void Statusregistr1Click();
  void Konec2Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

  // Shut-down steps, overridable so that tests can watch their order and
  // keep the failure message from blocking.
  virtual void WriteSettingsFile();
  virtual void ShowSettingsWriteError(const QString& message);

  // Opens one dialog modally on the shared record: a fresh instance owned by
  // this window, given the record before it is shown, destroyed afterwards.
  template <class T>
  void RunDialog() {
    if (config_ == nullptr) return;
    T* dialog = new T(this);
    dialog->SetConfig(config_);
    dialog->exec();
    delete dialog;
  }

 private:
  void BuildMenu();
  void BuildStatusBar();
  void CentreOnScreen();
  // Writes the settings file once; a failure's message is kept.
  void SaveSettingsOnce();
  QAction* AddItem(QMenu* menu, const char* name, const QString& caption, void (TForm1::*handler)(),
                   bool visible = true);

  std::string settingsPath_;
  ConfigAllocator allocate_ = nullptr;
  TConnectionConfig* config_ = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  bool settingsWriteTried_ = false;
  QString settingsWriteError_;  // the message of a failed write; empty otherwise
};
