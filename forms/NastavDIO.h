// Unit NastavDIO: the window "Nastavení digitálních vstupů/výstupů". It edits
// the negation of the 32 inputs, the negation of the 32 outputs and the
// initial state of the outputs, three 32-bit masks kept in twelve one-byte
// registers of the module, one check box per bit.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <array>
#include <cstdint>

#include "ConfigWindow.h"
#include "core/ModuleCommands.h"

class TForm14 : public TConfigWindow {
  Q_OBJECT
 public:
  explicit TForm14(QWidget* parent = nullptr);

  void PrectiData(TModuleSetup& setup) override;
  void ZapisOkno(const TModuleSetup& setup) override;
  void PrectiOkno(TModuleSetup& setup) override;
  void ZapisData(const TModuleSetup& setup) override;

  // Register 0x20 + 3j holds DoutInitialState byte j, 0x21 + 3j DinNegation
  // byte j, 0x22 + 3j DoutNegation byte j.
  static constexpr uint8_t kDoutInitialStateBase = dqcmd::kRegDoutInitialBase;
  static constexpr uint8_t kDinNegationBase = dqcmd::kRegDinNegationBase;
  static constexpr uint8_t kDoutNegationBase = dqcmd::kRegDoutNegationBase;
  static constexpr int kStepCount = 12;

  // Register of step n (0-11): the four initial-state bytes, then the four
  // input-negation bytes, then the four output-negation bytes.
  static uint8_t StepRegister(int step);

 private:
  static uint8_t& StepByte(TModuleSetup& setup, int step);
  QGroupBox* MakeGroup(const char* name, const QString& caption, const QString& channelPrefix, int firstBox);

  QGroupBox* GroupBox1;  // " Negace DIN ": CheckBox1-CheckBox32
  QGroupBox* GroupBox2;  // "Negace DOUT ": CheckBox33-CheckBox64
  QGroupBox* GroupBox3;  // " Počáteční stav DOUT ": CheckBox65-CheckBox96
  std::array<QCheckBox*, 96> CheckBoxes{};  // CheckBoxes[i] is CheckBox(i + 1)
};
