#include "OkamDOUT.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>
#include "core/ModuleCommands.h"

namespace {

using namespace dqcmd;
constexpr int kRows = 8;
const QString kWrittenText = QStringLiteral(" Data zapsána");

}  // namespace

TForm9::TForm9(QWidget* parent) : TLiveDialog(parent) {
  setObjectName(QStringLiteral("Form9"));
  setWindowTitle(QStringLiteral("Zápis na digitální výstupy"));
  FitStatusTexts({kWrittenText});

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(20);
  grid->setVerticalSpacing(2);
  for (int n = 0; n < static_cast<int>(checkBoxes_.size()); ++n) {
    auto* box = new QCheckBox(QStringLiteral("DOUT%1").arg(n), this);
    box->setObjectName(QStringLiteral("CheckBox%1").arg(n + 1));
    grid->addWidget(box, n % kRows, n / kRows);
    checkBoxes_[static_cast<size_t>(n)] = box;
  }

  Button1 = NewButton(QStringLiteral("Zapsat"), QStringLiteral("Button1"), &TForm9::Button1Click);
  Button2 = NewButton(QStringLiteral("Cancel"), QStringLiteral("Button2"), &TForm9::Button2Click);

  LayOut(grid, {Button1}, Button2);
  FormCreate();
}

void TForm9::FormCreate() {}

void TForm9::Button1Click() {
  if (!CanExchange()) return;
  TBusyScope busy(*this);
  // DOUT(8k+i) in bit i of b(4+k).
  uint8_t image[4] = {0, 0, 0, 0};
  for (int n = 0; n < static_cast<int>(checkBoxes_.size()); ++n)
    if (checkBoxes_[static_cast<size_t>(n)]->isChecked()) image[n / 8] |= static_cast<uint8_t>(1u << (n % 8));
  TParamBytes bytes;
  bytes.b4 = image[0];
  bytes.b5 = image[1];
  bytes.b6 = image[2];
  bytes.b7 = image[3];
  TExchangeOutcome outcome = Exchange(kCmdWrite, kSubOutputs, bytes);
  SetStatus(outcome.status == 0 ? kWrittenText : QStringLiteral(" ") + outcome.text);
}

void TForm9::Button2Click() { reject(); }
