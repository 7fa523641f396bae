// The common frame of the configuration windows: the record reference and
// the working copy of TModuleSetup, the buttons "Zapsat", "Přečíst", "Ok",
// "Cancel" with their handlers, the one-panel status bar, and the guard
// that keeps a window alive and deaf to its buttons while a register
// sequence runs. Each window supplies PrectiData, ZapisOkno, PrectiOkno and
// ZapisData and lays out its own controls.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <vector>

#include "Dekl.h"
#include "FormCommon.h"
#include "RegisterSequence.h"

class QCloseEvent;
class QLayout;
class QShowEvent;

class TConfigWindow : public QDialog {
  Q_OBJECT
 public:
  // Non-owning reference to the shared record; set before the window is shown.
  void SetConfig(TConnectionConfig* config) { config_ = config; }
  TConnectionConfig* Config() const { return config_; }

  // The window's working copy of the record's ModuleSetup block.
  const TModuleSetup& WorkingCopy() const { return setup_; }

  // True while a read or write sequence (or the handler that runs it) is on
  // the stack.
  bool SequenceRunning() const { return busyDepth_ > 0; }

  // The four methods of the configuration-window pattern.
  virtual void PrectiData(TModuleSetup& setup) = 0;        // module -> setup
  virtual void ZapisOkno(const TModuleSetup& setup) = 0;   // setup -> controls
  virtual void PrectiOkno(TModuleSetup& setup) = 0;        // controls -> setup, result in the status
  virtual void ZapisData(const TModuleSetup& setup) = 0;   // setup -> module

  // The first panel of StatusBar1.
  QString StatusText() const;

 public slots:
  void FormShow();
  void Button1Click();  // "Zapsat"
  void Button2Click();  // "Přečíst"
  void Button3Click();  // "Ok"
  void Button4Click();  // "Cancel"

  // A close asked for while a sequence runs waits until it has ended.
  void done(int result) override;

 protected:
  TConfigWindow(const QString& caption, QWidget* parent);

  // Sets the first status panel; the bar repaints at once.
  void SetStatus(const QString& text);
  // The validation result: the status is exactly one blank.
  bool ValidationPassed() const;

  QPushButton* Button1;  // "Zapsat"
  QPushButton* Button2;  // "Přečíst"
  QPushButton* Button3;  // "Ok"
  QPushButton* Button4;  // "Cancel"
  TStatusBar* StatusBar1;

  // Puts `body` above the status bar and fixes the window's size; the Tab
  // order runs through the fields before the buttons.
  void SetBody(QLayout* body);
  // The four buttons in a row, in the order "Zapsat", "Přečíst", "Ok", "Cancel".
  QLayout* ButtonRow();

  // Register sequences over the link as the record holds it now. Without a
  // record or an initialised link they do nothing and return false.
  bool ReadRegisters(const std::vector<uint8_t>& registers, const TReadStyle& style, const TRegisterStore& store);
  bool WriteRegisters(const std::vector<TRegisterWrite>& writes, const TWriteStyle& style,
                      const TVerifiedWrite& verifiedWrite = {});

  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

  TModuleSetup setup_{};  // the working copy

 private:
  // Marks a sequence as running for its lifetime; a close requested
  // meanwhile is carried out when the outermost guard ends.
  class TSequenceGuard {
   public:
    explicit TSequenceGuard(TConfigWindow& window);
    ~TSequenceGuard();
    TSequenceGuard(const TSequenceGuard&) = delete;
    TSequenceGuard& operator=(const TSequenceGuard&) = delete;

   private:
    TConfigWindow& window_;
  };

  QPushButton* MakeButton(const char* name, const QString& caption);
  // Where the keyboard focus starts: the first field, never "Zapsat".
  QWidget* FocusAtOpening() const;

  TConnectionConfig* config_ = nullptr;
  QWidget* firstField_ = nullptr;
  int busyDepth_ = 0;
  bool closePending_ = false;
  int pendingResult_ = QDialog::Rejected;
};
