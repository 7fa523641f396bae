#include "OkamCNT.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

#include "ValueGrid.h"
#include "core/LiveIntervals.h"
#include "core/ModuleCommands.h"

namespace {

using namespace dqcmd;

const QString kStart = QStringLiteral("Start");
const QString kStop = QStringLiteral("Stop");

// b4-b7 all set to `value`.
TParamBytes AllBytes(uint8_t value) {
  TParamBytes bytes;
  bytes.b4 = bytes.b5 = bytes.b6 = bytes.b7 = value;
  return bytes;
}

uint8_t LowByte(uint32_t word) { return static_cast<uint8_t>(word & 0xFFu); }

}  // namespace

TForm6::TForm6(QWidget* parent) : TLiveDialog(parent) {
  setObjectName(QStringLiteral("Form6"));
  setWindowTitle(QStringLiteral("Okamžité hodnoty čítačů"));

  grid_ = new TValueGrid(NumberedNames(QStringLiteral("CNT %1")), QStringLiteral("4294967295"), Qt::AlignRight, this);
  Button1 = NewButton(QStringLiteral("Nulovat"), QStringLiteral("Button1"), &TForm6::Button1Click);
  Button3 = NewButton(kStop, QStringLiteral("Button3"), &TForm6::Button3Click);
  Button2 = NewButton(QStringLiteral("Cancel"), QStringLiteral("Button2"), &TForm6::Button2Click);

  LayOut(grid_, {Button1, Button3}, Button2);

  // Stopped until the window is shown with an initialised link.
  Timer1 = CreateTimer1(dqcore::kCountersIntervalMs, &TForm6::Timer1Timer, TTimerStart::kAtShow);
  FormCreate();
}

void TForm6::FormCreate() {}

void TForm6::FormShow() {
  grid_->SetAllValues(QStringLiteral("0"));
  clearRequest_ = false;
  toggleRequest_ = false;
  if (!CanExchange()) return;  // polling stays off until the next opening

  TBusyScope busy(*this);
  TParamBytes bytes;
  TExchangeOutcome outcome = Exchange(kCmdRead, kSubCounterRun, bytes);
  if (outcome.status != 0) {
    SetStatus(QStringLiteral(" ") + outcome.text);
  } else {
    const bool stopped = bytes.b4 == 0 && bytes.b5 == 0 && bytes.b6 == 0 && bytes.b7 == 0;
    Button3->setText(stopped ? kStart : kStop);
  }
  Timer1->start();
}

void TForm6::Button1Click() {
  if (CanExchange()) clearRequest_ = true;
}

void TForm6::Button3Click() {
  if (CanExchange()) toggleRequest_ = true;
}

void TForm6::Button2Click() {
  Timer1->stop();
  reject();
}

void TForm6::Timer1Timer() {
  if (!CanExchange()) return;
  // Clicks and "Cancel" handled between groups wait for the end of the tick.
  TBusyScope busy(*this);
  Timer1->stop();

  if (clearRequest_) {
    clearRequest_ = false;
    TParamBytes bytes = AllBytes(kCountersClear);
    TExchangeOutcome outcome = Exchange(kCmdWrite, kSubClearCounters, bytes);
    if (outcome.status != 0) return EndTick(QStringLiteral(" ") + outcome.text);
  }

  if (toggleRequest_) {
    toggleRequest_ = false;
    // The caption is the run state; it follows the request even when the
    // exchange then fails.
    TParamBytes bytes = AllBytes(kCountersStop);
    if (Button3->text() == kStart) {
      bytes = AllBytes(kCountersStart);
      Button3->setText(kStop);
    } else {
      Button3->setText(kStart);
    }
    TExchangeOutcome outcome = Exchange(kCmdWrite, kSubCounterRun, bytes);
    if (outcome.status != 0) return EndTick(QStringLiteral(" ") + outcome.text);
  }

  TExchangeOutcome outcome;
  for (int group = 0; group < kCounterGroupCount; ++group) {
    TParamBytes bytes;
    outcome = Exchange(kCmdReadCounters, static_cast<uint8_t>(group), bytes);
    if (outcome.status != 0) return EndTick(QStringLiteral(" ") + outcome.text);
    const TExchangeReply& reply = Reply();
    for (int j = 0; j < kCountersPerGroup; ++j) {
      const uint32_t* w = &reply.Words[kCountersPerGroup * j];
      const uint32_t value = PackBytes(LowByte(w[0]), LowByte(w[1]), LowByte(w[2]), LowByte(w[3]));
      grid_->SetValue(group * kCountersPerGroup + j, QString::number(value));
    }
    if (group < kCounterGroupCount - 1) QCoreApplication::processEvents();
  }
  EndTick(QStringLiteral(" ") + outcome.text);
}

void TForm6::EndTick(const QString& statusText) {
  SetStatus(statusText);
  // A window closed during the tick does not poll again.
  if (!ClosePending()) Timer1->start();
}
