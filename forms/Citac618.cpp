#include "Citac618.h"

#include <QGridLayout>
#include <QVBoxLayout>

namespace {

// Reading pumps after every register. Writing pumps before each register's
// write and nowhere else; the read-back follows the write at once.
const TReadStyle kReadStyle{TStepPump::AfterEveryStep};
const TWriteStyle kWriteStyle{TPump::Yes, {TPump::No, TReadBackEcho::WrittenValue}, TStepPump::Never};
const TVerifyStyle kVerifyStyle = kWriteStyle.Verify;

const QString kBadPulseNumberText = QStringLiteral(" Impulsní číslo musí být v rozsahu 1-1000.");

uint8_t LowRegister(int counter) { return static_cast<uint8_t>(TForm5::kFirstRegister + 2 * counter); }
uint8_t HighRegister(int counter) { return static_cast<uint8_t>(TForm5::kFirstRegister + 2 * counter + 1); }

}  // namespace

TForm5::TForm5(QWidget* parent) : TConfigWindow(QStringLiteral("Nastavení čítačů DQ-618"), parent) {
  FitStatusTexts({kBadPulseNumberText});
  auto* fields = new QGridLayout;
  Label5 = new QLabel(QStringLiteral("Impulsní číslo"), this);
  Label5->setObjectName(QStringLiteral("Label5"));
  fields->addWidget(Label5, 0, 1);
  for (int counter = 0; counter < kCounterCount; ++counter) {
    auto* label = new QLabel(QStringLiteral("Čítač %1").arg(counter), this);
    label->setObjectName(QStringLiteral("Label%1").arg(counter + 1));
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("Edit%1").arg(counter + 1));
    fields->addWidget(label, counter + 1, 0);
    fields->addWidget(edit, counter + 1, 1);
    CounterLabels[static_cast<std::size_t>(counter)] = label;
    Edits[static_cast<std::size_t>(counter)] = edit;
  }
  auto* body = new QVBoxLayout;
  body->addLayout(fields);
  body->addSpacing(8);
  body->addLayout(ButtonRow());
  SetBody(body);
}

void TForm5::PrectiOkno(TModuleSetup& setup) {
  for (int counter = 0; counter < kCounterCount; ++counter) {
    uint16_t value = 0;
    if (!ParseWordInRange(ToCp1250(Edits[static_cast<std::size_t>(counter)]->text()), kLowestPulseNumber,
                          kHighestPulseNumber, value)) {
      // Counters before this one are already stored; this and later ones keep their values.
      SetStatus(kBadPulseNumberText);
      return;
    }
    setup.PulseNumber[counter] = value;
  }
  SetStatus(QStringLiteral(" "));
}

void TForm5::ZapisOkno(const TModuleSetup& setup) {
  for (int counter = 0; counter < kCounterCount; ++counter)
    Edits[static_cast<std::size_t>(counter)]->setText(QString::number(setup.PulseNumber[counter]));
}

void TForm5::PrectiData(TModuleSetup& setup) {
  std::vector<uint8_t> registers;
  for (int counter = 0; counter < kCounterCount; ++counter) {
    registers.push_back(LowRegister(counter));
    registers.push_back(HighRegister(counter));
  }
  // A counter takes its new pulse number only when both of its registers
  // were read; a failure between them leaves it as it was.
  uint8_t lowByte = 0;
  ReadRegisters(registers, kReadStyle, [&setup, &lowByte](std::size_t step, uint8_t value) {
    if (step % 2 == 0) {
      lowByte = value;
      return;
    }
    setup.PulseNumber[step / 2] = static_cast<uint16_t>(lowByte + 256 * value);
  });
}

void TForm5::ZapisData(const TModuleSetup& setup) {
  const TModuleSetup data = setup;
  std::vector<TRegisterWrite> writes;
  for (int counter = 0; counter < kCounterCount; ++counter) {
    const uint16_t pulses = data.PulseNumber[counter];
    writes.push_back({LowRegister(counter), static_cast<uint8_t>(pulses & 0xFF)});
    writes.push_back({HighRegister(counter), static_cast<uint8_t>(pulses >> 8)});
  }
  WriteRegisters(writes, kWriteStyle, [this](TRegisterLink& link, uint8_t reg, uint8_t value, QString& errorText) {
    return ZapisRegistr(link.Type(), link.Handle(), link.Address(), reg, value, errorText);
  });
}

uint8_t TForm5::ZapisRegistr(TInterfaceType type, int32_t handle, uint8_t address, uint8_t reg, uint8_t value,
                             QString& errorText) {
  TRegisterLink link(type, handle, address);
  return WriteRegisterVerified(link, reg, value, kVerifyStyle, errorText);
}
