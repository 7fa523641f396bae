#include "NastavAdr.h"

#include <QGridLayout>
#include <QVBoxLayout>

namespace {

// Register reads pump between the two registers; the write pumps between a
// write and its read-back and between the registers, and reads back with 0.
const TReadStyle kReadStyle{TStepPump::BetweenSteps};
const TWriteStyle kWriteStyle{TPump::No, {TPump::Yes, TReadBackEcho::Zero}, TStepPump::BetweenSteps};

constexpr int kDefaultBaudItem = 4;  // 9600 Bd

const QString kBadAddressText = QStringLiteral(" Adresa modulu musí být v rozsahu 0-255.");
const QString kBadRateText = QStringLiteral(" Komunikační rychlost musí být v rozsahu 600Bd-115200Bd.");

}  // namespace

TForm12::TForm12(QWidget* parent) : TConfigWindow(QStringLiteral("Nastavení komunikační adresy a rychlosti"), parent) {
  Label1 = new QLabel(QStringLiteral("Adresa modulu  (0-255)"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2 = new QLabel(QStringLiteral("Komunikační rychlost"), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(false);
  AddBaudRateItems(ComboBox1);
  ComboBox1->setCurrentIndex(kDefaultBaudItem);
  FitStatusTexts({kBadAddressText, kBadRateText});

  auto* fields = new QGridLayout;
  fields->addWidget(Label1, 0, 0);
  fields->addWidget(Edit1, 0, 1);
  fields->addWidget(Label2, 1, 0);
  fields->addWidget(ComboBox1, 1, 1);
  auto* body = new QVBoxLayout;
  body->addLayout(fields);
  body->addSpacing(8);
  body->addLayout(ButtonRow());
  SetBody(body);
}

bool TForm12::ParseByteInRange(const QString& text, int32_t low, int32_t high, uint8_t& value) {
  int32_t number = 0;
  if (!TryParseInteger(ToCp1250(text), number)) return false;
  if (number < low || number > high) return false;
  value = static_cast<uint8_t>(number);
  return true;
}

void TForm12::PrectiData(TModuleSetup& setup) {
  ReadRegisters({kAddressRegister, kBaudCodeRegister}, kReadStyle, [&setup](std::size_t step, uint8_t value) {
    if (step == 0)
      setup.Address = value;
    else
      setup.BaudCode = value;
  });
}

void TForm12::ZapisData(const TModuleSetup& setup) {
  const TModuleSetup data = setup;
  WriteRegisters({{kAddressRegister, data.Address}, {kBaudCodeRegister, data.BaudCode}}, kWriteStyle);
}

void TForm12::PrectiOkno(TModuleSetup& setup) {
  uint8_t address = 0;
  if (!ParseByteInRange(Edit1->text(), 0, 255, address)) {
    SetStatus(kBadAddressText);
    return;
  }
  setup.Address = address;
  int index = ComboBox1->currentIndex();
  if (index < 0 || index >= kBaudCodeCount) {
    SetStatus(kBadRateText);
    return;
  }
  setup.BaudCode = static_cast<uint8_t>(index);
  SetStatus(QStringLiteral(" "));
}

void TForm12::ZapisOkno(const TModuleSetup& setup) {
  Edit1->setText(QString::number(setup.Address));
  ComboBox1->setCurrentIndex(setup.BaudCode < kBaudCodeCount ? setup.BaudCode : -1);
}
