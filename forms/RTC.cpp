#include "RTC.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "PcClock.h"
#include "core/ModuleCommands.h"

namespace {

using namespace dqcmd;

QLabel* Caption(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

const QString kClockSetText = QStringLiteral(" Čas nastaven");

}  // namespace

TForm3::TForm3(QWidget* parent) : TLiveDialog(parent) {
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("Nastavení hodinového obvodu RTC"));
  FitStatusTexts({kClockSetText});

  const int rowHeight = fontMetrics().height() + 4;
  const int timeWidth = fontMetrics().horizontalAdvance(QStringLiteral("23:59:59")) + 12;
  const int dateWidth = fontMetrics().horizontalAdvance(QStringLiteral("31.12.65535")) + 12;

  QFrame* panel1 = NewValuePanel(QStringLiteral("Panel1"), this);
  QFrame* panel2 = NewValuePanel(QStringLiteral("Panel2"), this);
  auto value = [&](const QString& name, QFrame* panel, int width) {
    auto* label = new QLabel(QStringLiteral("0"), panel);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setFixedSize(width, rowHeight);
    return label;
  };
  Label4 = value(QStringLiteral("Label4"), panel1, timeWidth);
  Label7 = value(QStringLiteral("Label7"), panel1, dateWidth);
  Label5 = value(QStringLiteral("Label5"), panel1, timeWidth);
  Label8 = value(QStringLiteral("Label8"), panel1, dateWidth);
  Label6 = value(QStringLiteral("Label6"), panel2, timeWidth);
  Label9 = value(QStringLiteral("Label9"), panel2, dateWidth);

  auto* rows1 = new QGridLayout(panel1);
  rows1->setContentsMargins(4, 3, 4, 3);
  rows1->setSpacing(0);
  rows1->addWidget(Label4, 0, 0);
  rows1->addWidget(Label7, 0, 1);
  rows1->addWidget(Label5, 1, 0);
  rows1->addWidget(Label8, 1, 1);
  auto* rows2 = new QGridLayout(panel2);
  rows2->setContentsMargins(4, 3, 4, 3);
  rows2->setSpacing(0);
  rows2->addWidget(Label6, 0, 0);
  rows2->addWidget(Label9, 0, 1);

  // The captions sit level with the rows of their panels.
  const int pad = panel1->frameWidth() + 3;
  auto* captions1 = new QVBoxLayout;
  captions1->setContentsMargins(0, pad, 0, pad);
  captions1->setSpacing(0);
  for (QLabel* caption : {Caption(QStringLiteral("Label1"), QStringLiteral("Začátek výpadku napájení"), this),
                          Caption(QStringLiteral("Label2"), QStringLiteral("Konec výpadku napájení"), this)}) {
    caption->setFixedHeight(rowHeight);
    captions1->addWidget(caption);
  }
  auto* captions2 = new QVBoxLayout;
  captions2->setContentsMargins(0, pad, 0, pad);
  QLabel* caption3 = Caption(QStringLiteral("Label3"), QStringLiteral("Čas a datum modulu"), this);
  caption3->setFixedHeight(rowHeight);
  captions2->addWidget(caption3);

  auto* values = new QGridLayout;
  values->setHorizontalSpacing(10);
  values->setVerticalSpacing(12);
  values->addLayout(captions1, 0, 0);
  values->addWidget(panel1, 0, 1, Qt::AlignLeft);
  values->addLayout(captions2, 1, 0);
  values->addWidget(panel2, 1, 1, Qt::AlignLeft);

  Button1 = NewButton(QStringLiteral("Nastavit čas"), QStringLiteral("Button1"), &TForm3::Button1Click);
  Button2 = NewButton(QStringLiteral("Cancel"), QStringLiteral("Button2"), &TForm3::Button2Click);
  for (QPushButton* button : {Button1, Button2}) {
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(Button1->text()) + 24);
  }

  LayOut(values, {Button1}, Button2, 12);

  // Runs from creation; FormShow starts it again.
  Timer1 = CreateTimer1(200, &TForm3::Timer1Timer, TTimerStart::kAtCreation);
  FormCreate();
}

void TForm3::FormCreate() {}

void TForm3::FormShow() {
  powerFailureRead_ = false;
  for (QLabel* label : {Label4, Label5, Label6, Label7, Label8, Label9}) label->setText(QStringLiteral("0"));
  Timer1->start();
}

bool TForm3::ReadValue(uint8_t subcode, TValueKind kind, QLabel* label, QString& statusText) {
  TParamBytes bytes;
  TExchangeOutcome outcome = Exchange(kCmdReadModule, subcode, bytes);
  statusText = QStringLiteral(" ") + outcome.text;
  if (outcome.status != 0) {
    SetStatus(statusText);
    return false;
  }
  // A time comes as seconds, minutes, hours; a date as day, month, year in
  // the four-year cycle.
  const std::string text =
      kind == TValueKind::Time ? TimeText(bytes.b6, bytes.b5, bytes.b4) : DateText(bytes.b4, bytes.b5, bytes.b6);
  label->setText(FromCp1250(text));
  return true;
}

void TForm3::Timer1Timer() {
  TPollTick tick(Timer1);
  if (!CanExchange()) return;
  TBusyScope busy(*this);
  QString statusText;
  if (!powerFailureRead_) {
    if (!ReadValue(kSubFailureStartTime, TValueKind::Time, Label4, statusText)) return;
    if (!ReadValue(kSubFailureStartDate, TValueKind::Date, Label7, statusText)) return;
    if (!ReadValue(kSubFailureEndTime, TValueKind::Time, Label5, statusText)) return;
    if (!ReadValue(kSubFailureEndDate, TValueKind::Date, Label8, statusText)) return;
    powerFailureRead_ = true;
  }
  if (!ReadValue(kSubTime, TValueKind::Time, Label6, statusText)) return;
  if (!ReadValue(kSubDate, TValueKind::Date, Label9, statusText)) return;
  SetStatus(statusText);  // the text for status 0
}

bool TForm3::WriteValue(uint8_t subcode, uint8_t first, uint8_t second, uint8_t third) {
  TParamBytes bytes;
  bytes.b4 = first;
  bytes.b5 = second;
  bytes.b6 = third;
  TExchangeOutcome outcome = Exchange(kCmdWriteModule, subcode, bytes);
  if (outcome.status == 0) return true;
  SetStatus(QStringLiteral(" ") + outcome.text);
  return false;
}

void TForm3::Button1Click() {
  if (!CanExchange()) return;
  TBusyScope busy(*this);
  Timer1->stop();
  // One reading of the PC clock serves both writes.
  const TPcDateTime now = PcLocalNow();
  if (WriteValue(kSubTime, static_cast<uint8_t>(now.Second), static_cast<uint8_t>(now.Minute),
                 static_cast<uint8_t>(now.Hour)) &&
      WriteValue(kSubDate, static_cast<uint8_t>(now.Day), static_cast<uint8_t>(now.Month),
                 static_cast<uint8_t>(now.Year & 3))) {
    SetStatus(kClockSetText);
  }
  Timer1->start();
}

void TForm3::Button2Click() {
  Timer1->stop();
  reject();
}
