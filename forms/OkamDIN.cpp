#include "OkamDIN.h"

#include <QPushButton>
#include <QTimer>

#include "ValueGrid.h"
#include "core/LiveIntervals.h"
#include "core/ModuleCommands.h"

using namespace dqcmd;

TForm11::TForm11(QWidget* parent) : TLiveDialog(parent) {
  setObjectName(QStringLiteral("Form11"));
  setWindowTitle(QStringLiteral("Okamžité hodnoty digitálních vstupů"));

  grid_ = new TValueGrid(NumberedNames(QStringLiteral("DIN%1")), QStringLiteral("0"), Qt::AlignHCenter, this);
  Button1 = NewButton(QStringLiteral("Cancel"), QStringLiteral("Button1"), &TForm11::Button1Click);

  LayOut(grid_, {}, Button1);

  // Polls from creation to destruction.
  Timer1 = CreateTimer1(dqcore::kInputsIntervalMs, &TForm11::Timer1Timer, TTimerStart::kAtCreation);
  FormCreate();
}

void TForm11::FormCreate() {}

void TForm11::Timer1Timer() {
  PollBitImage(Timer1, kCmdRead, kSubInputs, grid_);
}

void TForm11::Button1Click() { reject(); }
