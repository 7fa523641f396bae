#include "LiveDialog.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <vector>

TLiveDialog::TLiveDialog(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  statusBar_ = new TStatusBar(1, this);
}

void TLiveDialog::FinishLayout(QLayout* body) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addLayout(body);
  outer->addWidget(statusBar_);
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* TLiveDialog::NewButton(const QString& text, const QString& objectName) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

namespace {

QVBoxLayout* NewBody(int spacing) {
  auto* body = new QVBoxLayout;
  body->setContentsMargins(12, 12, 12, 8);
  body->setSpacing(spacing);
  return body;
}

QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> leading, QPushButton* trailing) {
  auto* row = new QHBoxLayout;
  for (QPushButton* button : leading) row->addWidget(button);
  row->addStretch(1);
  row->addWidget(trailing);
  return row;
}

}  // namespace

void TLiveDialog::LayOut(QWidget* content, std::initializer_list<QPushButton*> leading, QPushButton* trailing,
                         int spacing) {
  QVBoxLayout* body = NewBody(spacing);
  body->addWidget(content);
  body->addLayout(ButtonRow(leading, trailing));
  FinishLayout(body);
  ChainFocus(leading, trailing);
}

void TLiveDialog::LayOut(QLayout* content, std::initializer_list<QPushButton*> leading, QPushButton* trailing,
                         int spacing) {
  QVBoxLayout* body = NewBody(spacing);
  body->addLayout(content);
  body->addLayout(ButtonRow(leading, trailing));
  FinishLayout(body);
  ChainFocus(leading, trailing);
}

void TLiveDialog::ChainFocus(std::initializer_list<QPushButton*> leading, QPushButton* trailing) {
  std::vector<QPushButton*> buttons(leading);
  buttons.push_back(trailing);
  QWidget* firstField = ChainFieldsBeforeButtons(this, buttons);
  focusAtOpening_ = firstField != nullptr ? firstField : trailing;
  focusAtOpening_->setFocus();
}

QTimer* TLiveDialog::CreateTimer1(int intervalMs) {
  auto* timer = new QTimer(this);
  timer->setObjectName(QStringLiteral("Timer1"));
  timer->setInterval(intervalMs);
  // Precise, so a 100 ms poll keeps its cadence instead of drifting by the
  // coarse timers' 5 %.
  timer->setTimerType(Qt::PreciseTimer);
  return timer;
}

void TLiveDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window system's own show (restoring a minimised window) is no new opening.
  if (event->spontaneous()) return;
  CentreOnScreen(this);
  FormShow();
  if (focusAtOpening_ != nullptr) focusAtOpening_->setFocus();
}

void TLiveDialog::done(int result) {
  if (Busy()) {
    closePending_ = true;
    pendingResult_ = result;
    return;
  }
  closePending_ = false;
  QDialog::done(result);
}

TLiveDialog::TBusyScope::TBusyScope(TLiveDialog& dialog) : dialog_(dialog) { ++dialog_.busy_; }

TLiveDialog::TBusyScope::~TBusyScope() {
  if (--dialog_.busy_ == 0 && dialog_.closePending_) dialog_.done(dialog_.pendingResult_);
}

TLiveDialog::TPollTick::TPollTick(QTimer* timer) : timer_(timer) { started_.start(); }

TLiveDialog::TPollTick::~TPollTick() {
  if (timer_ != nullptr && timer_->isActive() && 2 * started_.elapsed() >= timer_->interval()) timer_->start();
}

void TLiveDialog::ShowStatus(const QString& text) { statusBar_->SetPanelText(0, text); }

bool TLiveDialog::CanExchange() {
  if (config_ == nullptr) return false;
  if (!LinkReady(config_)) {
    ShowStatus(kLinkNotInitialisedText);
    return false;
  }
  return true;
}

TExchangeOutcome TLiveDialog::Exchange(uint8_t command, uint8_t subcode, TParamBytes& bytes) {
  TExchangeOutcome outcome;
  // A short reply must not leave words of an earlier exchange behind.
  reply_ = TExchangeReply{};
  ModuleExchange(config_->InterfaceType, config_->DriverHandle, moduleAddress_, command, subcode, bytes.b3,
                 bytes.b4, bytes.b5, bytes.b6, bytes.b7, outcome.status, reply_);
  outcome.text = DriverText(config_->InterfaceType, outcome.status);
  return outcome;
}

void TLiveDialog::PollReply(uint8_t command, uint8_t subcode,
                            const std::function<void(const TParamBytes&)>& show) {
  if (!CanExchange()) return;
  TBusyScope busy(*this);
  TParamBytes bytes;
  TExchangeOutcome outcome = Exchange(command, subcode, bytes);
  if (outcome.status == 0) show(bytes);
  ShowStatus(QStringLiteral(" ") + outcome.text);
}
