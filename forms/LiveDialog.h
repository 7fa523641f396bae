// Base of the windows that talk to the module from a timer or a button: the
// layout with its button row, the window timer and its poll tick, and the
// exchange with the window's module address and its status text.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "Dekl.h"
#include "FormCommon.h"
#include "ModuleDialog.h"
#include "Txxx847.h"

class QLayout;
class QPushButton;
class QVBoxLayout;
class QWidget;
class TValueGrid;

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

class TLiveDialog : public TModuleDialog {
  Q_OBJECT
 public:
  explicit TLiveDialog(QWidget* parent = nullptr);

 protected:
  // Puts `body` above the status bar and fixes the window's size.
  void FinishLayout(QLayout* body);
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
  // When a window's Timer1 first runs: from creation, or once the window is
  // shown with an initialised link (its FormShow starts it).
  enum class TTimerStart { kAtCreation, kAtShow };
  // Creates Timer1 with the interval, firing `tick` of the subclass.
  template <class Window>
  QTimer* CreateTimer1(int intervalMs, void (Window::*tick)(), TTimerStart start) {
    QTimer* timer = NewTimer1(intervalMs);
    connect(timer, &QTimer::timeout, static_cast<Window*>(this), tick);
    if (start == TTimerStart::kAtCreation) timer->start();
    return timer;
  }

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
  // A tick of a window that shows a 32-bit image (inputs, status register):
  // one PollReply whose b4-b7 fill `grid`, under a TPollTick of `timer`.
  void PollBitImage(QTimer* timer, uint8_t command, uint8_t subcode, TValueGrid* grid);

 private:
  QTimer* NewTimer1(int intervalMs);
  // The button row below the content, the status bar, the Tab order and the
  // focus at opening.
  void FinishWithButtons(QVBoxLayout* body, std::initializer_list<QPushButton*> leading, QPushButton* trailing);

  TExchangeReply reply_{};
};
