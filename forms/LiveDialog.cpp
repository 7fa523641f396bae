#include "LiveDialog.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <vector>

#include "ValueGrid.h"

TLiveDialog::TLiveDialog(QWidget* parent)
    : TModuleDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {}

void TLiveDialog::FinishLayout(QLayout* body) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addLayout(body);
  outer->addWidget(StatusBar1);
  outer->setSizeConstraint(QLayout::SetFixedSize);
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
  FinishWithButtons(body, leading, trailing);
}

void TLiveDialog::LayOut(QLayout* content, std::initializer_list<QPushButton*> leading, QPushButton* trailing,
                         int spacing) {
  QVBoxLayout* body = NewBody(spacing);
  body->addLayout(content);
  FinishWithButtons(body, leading, trailing);
}

void TLiveDialog::FinishWithButtons(QVBoxLayout* body, std::initializer_list<QPushButton*> leading,
                                    QPushButton* trailing) {
  body->addLayout(ButtonRow(leading, trailing));
  FinishLayout(body);
  std::vector<QPushButton*> buttons(leading);
  buttons.push_back(trailing);
  QWidget* firstField = ChainFieldsBeforeButtons(this, buttons);
  SetFocusAtOpening(firstField != nullptr ? firstField : trailing);
}

QTimer* TLiveDialog::NewTimer1(int intervalMs) {
  auto* timer = new QTimer(this);
  timer->setObjectName(QStringLiteral("Timer1"));
  timer->setInterval(intervalMs);
  // Precise, so a 100 ms poll keeps its cadence instead of drifting by the
  // coarse timers' 5 %.
  timer->setTimerType(Qt::PreciseTimer);
  return timer;
}

TLiveDialog::TPollTick::TPollTick(QTimer* timer) : timer_(timer) { started_.start(); }

TLiveDialog::TPollTick::~TPollTick() {
  if (timer_ != nullptr && timer_->isActive() && 2 * started_.elapsed() >= timer_->interval()) timer_->start();
}

bool TLiveDialog::CanExchange() {
  if (Config() == nullptr) return false;
  if (!LinkReady(Config())) {
    SetStatus(kLinkNotInitialisedText);
    return false;
  }
  return true;
}

TExchangeOutcome TLiveDialog::Exchange(uint8_t command, uint8_t subcode, TParamBytes& bytes) {
  TExchangeOutcome outcome;
  // A short reply must not leave words of an earlier exchange behind.
  reply_ = TExchangeReply{};
  ModuleExchange(Config()->InterfaceType, Config()->DriverHandle, ModuleAddress(), command, subcode, bytes.b3,
                 bytes.b4, bytes.b5, bytes.b6, bytes.b7, outcome.status, reply_);
  outcome.text = DriverText(Config()->InterfaceType, outcome.status);
  return outcome;
}

void TLiveDialog::PollReply(uint8_t command, uint8_t subcode,
                            const std::function<void(const TParamBytes&)>& show) {
  if (!CanExchange()) return;
  TBusyScope busy(*this);
  TParamBytes bytes;
  TExchangeOutcome outcome = Exchange(command, subcode, bytes);
  if (outcome.status == 0) show(bytes);
  SetStatus(QStringLiteral(" ") + outcome.text);
}

void TLiveDialog::PollBitImage(QTimer* timer, uint8_t command, uint8_t subcode, TValueGrid* grid) {
  TPollTick tick(timer);
  PollReply(command, subcode, [grid](const TParamBytes& b) { grid->ShowBitImage(b.b4, b.b5, b.b6, b.b7); });
}
