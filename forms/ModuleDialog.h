// Base of every modal window that works on the shared connection record: the
// record reference, the module address copied when the window is shown, the
// one-panel status bar, the busy scope that keeps a window alive and its
// close deferred while a sequence or a tick runs, centring and the focus at
// opening.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <cstdint>

#include "Dekl.h"
#include "FormCommon.h"

class QCloseEvent;
class QPushButton;
class QShowEvent;
class QWidget;

class TModuleDialog : public QDialog {
  Q_OBJECT
 public:
  // Non-owning reference to the shared record; set before the window is shown.
  void SetConfig(TConnectionConfig* config) { config_ = config; }
  TConnectionConfig* Config() const { return config_; }
  // The record's ModuleAddress as it was when the window was last shown
  // (0 before that, or without a record).
  uint8_t ModuleAddress() const { return moduleAddress_; }

  // True while a sequence, a tick or an action of this window is on the stack.
  bool Busy() const { return busy_ > 0; }
  bool ClosePending() const { return closePending_; }

  // The first panel of StatusBar1 (empty for a window without one).
  QString StatusText() const;

 public slots:
  // Called from showEvent each time the window is shown, after the module
  // address was copied.
  virtual void FormShow() {}
  // A close asked for while the window is busy is carried out when the
  // running sequence ends, so its handler never outlives the window.
  void done(int result) override;

 protected:
  // statusPanels: 1 for the windows with a status bar, 0 for none.
  TModuleDialog(QWidget* parent, Qt::WindowFlags flags, int statusPanels = 1);

  // Keeps the window busy (close deferred) for the lifetime of the scope;
  // scopes nest, the outermost one carries out a pending close.
  class TBusyScope {
   public:
    explicit TBusyScope(TModuleDialog& dialog);
    ~TBusyScope();
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

   private:
    TModuleDialog& dialog_;
  };

  // The status panel, repainted at once.
  void SetStatus(const QString& text);
  // Widens the status panel for texts of the window's own; the constructor
  // has fitted it to the driver texts after one blank and the link message.
  void FitStatusTexts(const QStringList& texts);
  // A push button of the window that Enter does not press.
  QPushButton* NewButton(const QString& text, const QString& objectName);
  // The same, running `click` of the window when pressed.
  template <class Window>
  QPushButton* NewButton(const QString& text, const QString& objectName, void (Window::*click)()) {
    QPushButton* button = NewButton(text, objectName);
    connect(button, &QPushButton::clicked, static_cast<Window*>(this), click);
    return button;
  }
  // Where the keyboard focus goes each time the window is shown.
  void SetFocusAtOpening(QWidget* widget);

  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

  TStatusBar* StatusBar1 = nullptr;

 private:
  TConnectionConfig* config_ = nullptr;
  QWidget* focusAtOpening_ = nullptr;
  uint8_t moduleAddress_ = 0;
  int busy_ = 0;
  bool closePending_ = false;
  int pendingResult_ = QDialog::Rejected;
};
