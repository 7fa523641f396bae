// Base of the windows that talk to the module from a timer or a button: the
// record reference and the window's module address, the one-panel status
// bar, the window timer, the exchange with its status text, and closing
// that waits for a tick in progress.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "Dekl.h"
#include "FormCommon.h"
#include "Txxx847.h"

class QLayout;
class QPushButton;
class QShowEvent;
class QWidget;
class QTimer;

// The five parameter bytes of an exchange; on status 0 they come back as
// b3 = reply count, b4-b7 = low bytes of reply words 0-3.
struct TParamBytes {
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0;
};

// Status of an exchange and the driver's text for it (no leading blank).
struct TExchangeOutcome {
  uint8_t status = 0;
  QString text;
};

class TLiveDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TLiveDialog(QWidget* parent = nullptr);

  // Non-owning reference to the shared record, set before the window is shown.
  void SetConfig(TConnectionConfig* config) { config_ = config; }
  TConnectionConfig* Config() const { return config_; }
  uint8_t ModuleAddress() const { return moduleAddress_; }

  // True while a tick or an action of this window is on the stack.
  bool Busy() const { return busy_ > 0; }
  bool ClosePending() const { return closePending_; }

 public slots:
  // Called from showEvent each time the window is shown.
  virtual void FormShow() {}
  // A close asked for while the window is busy is carried out when the
  // running tick or action ends, so its handler never outlives the window.
  void done(int result) override;

 protected:
  // Keeps the window busy (close deferred) for the lifetime of the scope.
  class TBusyScope {
   public:
    explicit TBusyScope(TLiveDialog& dialog);
    ~TBusyScope();
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

   private:
    TLiveDialog& dialog_;
  };

  void showEvent(QShowEvent* event) override;

  // Puts `body` above the status bar and fixes the window's size.
  void FinishLayout(QLayout* body);
  // A push button of the window that Enter does not press by default.
  QPushButton* NewButton(const QString& text, const QString& objectName);
  // The whole layout: the content, below it a row with the leading buttons
  // on the left and the trailing one on the right, then the status bar.
  // The Tab order runs through the content's fields, then the buttons from
  // left to right. The focus starts on the first field, or on the trailing
  // button ("Cancel") in a window without fields, so that no key pressed
  // right after opening acts on the module.
  void LayOut(QWidget* content, std::initializer_list<QPushButton*> leading, QPushButton* trailing,
              int spacing = 10);
  void LayOut(QLayout* content, std::initializer_list<QPushButton*> leading, QPushButton* trailing,
              int spacing = 10);
  // Creates Timer1 with the interval; it fires Timer1Timer of the subclass
  // through the slot connected by the caller.
  QTimer* CreateTimer1(int intervalMs);

  void SetModuleAddress(uint8_t address) { moduleAddress_ = address; }

  // Restarts `timer` at the end of a tick (or a button's exchange) that took
  // at least half its interval (an exchange that got no answer, say): a
  // timer that is due again would fire before the input that waited
  // meanwhile, and keep the window deaf for a second exchange. A restarted timer keeps running
  // and its next tick is a full interval away, in which the waiting input
  // is handled. A stopped timer stays stopped.
  class TPollTick {
   public:
    explicit TPollTick(QTimer* timer);
    ~TPollTick();
    TPollTick(const TPollTick&) = delete;
    TPollTick& operator=(const TPollTick&) = delete;

   private:
    QTimer* timer_;
    QElapsedTimer started_;
  };

  // The status panel, repainted at once.
  void ShowStatus(const QString& text);
  // False without a record (silently) or when the link is not initialised
  // (the not-initialised message is shown).
  bool CanExchange();
  // One exchange with the record's interface and handle and the window's
  // address; the status text is fetched for every status, 0 included.
  TExchangeOutcome Exchange(uint8_t command, uint8_t subcode, TParamBytes& bytes);
  // The reply words of the last exchange.
  const TExchangeReply& Reply() const { return reply_; }
  // One poll of a reply: link check, exchange, on status 0 `show` with the
  // returned bytes, then the status text (one blank and the driver's text).
  void PollReply(uint8_t command, uint8_t subcode, const std::function<void(const TParamBytes&)>& show);

  TStatusBar* statusBar_ = nullptr;

 private:
  void ChainFocus(std::initializer_list<QPushButton*> leading, QPushButton* trailing);

  QWidget* focusAtOpening_ = nullptr;
  TConnectionConfig* config_ = nullptr;
  uint8_t moduleAddress_ = 0;
  TExchangeReply reply_{};
  int busy_ = 0;
  bool closePending_ = false;
  int pendingResult_ = 0;
};
