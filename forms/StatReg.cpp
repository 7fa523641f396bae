#include "StatReg.h"

#include <QPushButton>
#include <QTimer>

#include "ValueGrid.h"
#include "core/LiveIntervals.h"
#include "core/ModuleCommands.h"

namespace {

using namespace dqcmd;

// Captions of the status bits; bits 8-31 carry no name.
QStringList StatusBitNames() {
  QStringList names = {QStringLiteral("---"), QStringLiteral("FN"),  QStringLiteral("PRF"),
                       QStringLiteral("---"), QStringLiteral("PWR"), QStringLiteral("RST"),
                       QStringLiteral("ERR24"), QStringLiteral("---")};
  while (names.size() < kGridChannels) names << QStringLiteral("---");
  return names;
}

}  // namespace

TForm15::TForm15(QWidget* parent) : TLiveDialog(parent) {
  setObjectName(QStringLiteral("Form15"));
  setWindowTitle(QStringLiteral("Status registr"));

  grid_ = new TValueGrid(StatusBitNames(), QStringLiteral("0"), Qt::AlignHCenter, this);
  Button2 = NewButton(QStringLiteral("Vynulovat"), QStringLiteral("Button2"), &TForm15::Button2Click);
  Button1 = NewButton(QStringLiteral("Cancel"), QStringLiteral("Button1"), &TForm15::Button1Click);

  LayOut(grid_, {Button2}, Button1);

  // Polls from creation to destruction.
  Timer1 = CreateTimer1(dqcore::kStatusIntervalMs, &TForm15::Timer1Timer, TTimerStart::kAtCreation);
  FormCreate();
}

void TForm15::FormCreate() {}

void TForm15::Timer1Timer() {
  PollBitImage(Timer1, kCmdReadModule, kSubStatusRegister, grid_);
}

void TForm15::Button1Click() { reject(); }

void TForm15::Button2Click() {
  // The clear blocks like a poll; the timer may fall due meanwhile.
  TPollTick tick(Timer1);
  if (!CanExchange()) return;
  TBusyScope busy(*this);
  TParamBytes bytes;
  TExchangeOutcome outcome = Exchange(kCmdWriteModule, kSubClearStatus, bytes);
  // A successful clear shows nothing: the next poll shows the register.
  if (outcome.status != 0) SetStatus(QStringLiteral(" ") + outcome.text);
}
