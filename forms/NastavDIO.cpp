#include "NastavDIO.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

// Both sequences pump after every register, the last one included; the
// write also pumps between a write and its read-back, which sends 0.
const TReadStyle kReadStyle{TStepPump::AfterEveryStep};
const TWriteStyle kWriteStyle{TPump::No, {TPump::Yes, TReadBackEcho::Zero}, TStepPump::AfterEveryStep};

constexpr int kChannels = 32;
constexpr int kDinNegationFirstBox = 1;
constexpr int kDoutNegationFirstBox = 33;
constexpr int kDoutInitialStateFirstBox = 65;

bool MaskBit(const uint8_t (&mask)[4], int channel) { return (mask[channel / 8] >> (channel % 8)) & 1; }

void SetMaskBit(uint8_t (&mask)[4], int channel, bool on) {
  const uint8_t bit = static_cast<uint8_t>(1u << (channel % 8));
  if (on)
    mask[channel / 8] |= bit;
  else
    mask[channel / 8] &= static_cast<uint8_t>(~bit);
}

}  // namespace

TForm14::TForm14(QWidget* parent) : TConfigWindow(QStringLiteral("Nastavení digitálních vstupů/výstupů"), parent) {
  GroupBox1 = MakeGroup("GroupBox1", QStringLiteral(" Negace DIN "), QStringLiteral("DIN"), kDinNegationFirstBox);
  GroupBox2 = MakeGroup("GroupBox2", QStringLiteral("Negace DOUT "), QStringLiteral("DOUT"), kDoutNegationFirstBox);
  GroupBox3 = MakeGroup("GroupBox3", QStringLiteral(" Počáteční stav DOUT "), QStringLiteral("DOUT"),
                        kDoutInitialStateFirstBox);
  auto* groups = new QHBoxLayout;
  groups->addWidget(GroupBox1);
  groups->addWidget(GroupBox2);
  groups->addWidget(GroupBox3);
  auto* body = new QVBoxLayout;
  body->addLayout(groups);
  body->addSpacing(8);
  body->addLayout(ButtonRow());
  SetBody(body);
}

// Channels 0-15 in the left column, 16-31 in the right, a gap after the
// eighth box of each column.
QGroupBox* TForm14::MakeGroup(const char* name, const QString& caption, const QString& channelPrefix, int firstBox) {
  auto* group = new QGroupBox(caption, this);
  group->setObjectName(QString::fromLatin1(name));
  auto* grid = new QGridLayout(group);
  grid->setVerticalSpacing(2);
  constexpr int kGapRow = 8;
  grid->setRowMinimumHeight(kGapRow, 8);
  for (int channel = 0; channel < kChannels; ++channel) {
    const int box = firstBox + channel;
    auto* check = new QCheckBox(channelPrefix + QString::number(channel), group);
    check->setObjectName(QStringLiteral("CheckBox%1").arg(box));
    const int inColumn = channel % 16;
    grid->addWidget(check, inColumn < 8 ? inColumn : inColumn + 1, channel / 16);
    CheckBoxes[static_cast<std::size_t>(box - 1)] = check;
  }
  return group;
}

uint8_t TForm14::StepRegister(int step) {
  static constexpr uint8_t kBases[3] = {kDoutInitialStateBase, kDinNegationBase, kDoutNegationBase};
  return static_cast<uint8_t>(kBases[step / 4] + 3 * (step % 4));
}

uint8_t& TForm14::StepByte(TModuleSetup& setup, int step) {
  const int j = step % 4;
  switch (step / 4) {
    case 0:
      return setup.DoutInitialState[j];
    case 1:
      return setup.DinNegation[j];
    default:
      return setup.DoutNegation[j];
  }
}

void TForm14::PrectiData(TModuleSetup& setup) {
  std::vector<uint8_t> registers;
  for (int step = 0; step < kStepCount; ++step) registers.push_back(StepRegister(step));
  ReadRegisters(registers, kReadStyle, [&setup](std::size_t step, uint8_t value) {
    StepByte(setup, static_cast<int>(step)) = value;
  });
}

void TForm14::ZapisData(const TModuleSetup& setup) {
  TModuleSetup data = setup;
  std::vector<TRegisterWrite> writes;
  for (int step = 0; step < kStepCount; ++step) writes.push_back({StepRegister(step), StepByte(data, step)});
  WriteRegisters(writes, kWriteStyle);
}

void TForm14::PrectiOkno(TModuleSetup& setup) {
  for (int channel = 0; channel < kChannels; ++channel) {
    SetMaskBit(setup.DinNegation, channel, CheckBoxes[kDinNegationFirstBox - 1 + channel]->isChecked());
    SetMaskBit(setup.DoutNegation, channel, CheckBoxes[kDoutNegationFirstBox - 1 + channel]->isChecked());
    SetMaskBit(setup.DoutInitialState, channel, CheckBoxes[kDoutInitialStateFirstBox - 1 + channel]->isChecked());
  }
  SetStatus(QStringLiteral(" "));
}

void TForm14::ZapisOkno(const TModuleSetup& setup) {
  for (int channel = 0; channel < kChannels; ++channel) {
    CheckBoxes[kDinNegationFirstBox - 1 + channel]->setChecked(MaskBit(setup.DinNegation, channel));
    CheckBoxes[kDoutNegationFirstBox - 1 + channel]->setChecked(MaskBit(setup.DoutNegation, channel));
    CheckBoxes[kDoutInitialStateFirstBox - 1 + channel]->setChecked(MaskBit(setup.DoutInitialState, channel));
  }
}
