// Unit Citac618: the window "Nastavení čítačů DQ-618". It reads, edits and
// writes the pulse numbers of counters 0-3, kept in configuration registers
// 0-7 (counter i: low byte in register 2i, high byte in 2i+1).
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <array>
#include <cstdint>

#include "ConfigWindow.h"
#include "core/ModuleCommands.h"

class TForm5 : public TConfigWindow {
  Q_OBJECT
 public:
  explicit TForm5(QWidget* parent = nullptr);

  void PrectiData(TModuleSetup& setup) override;
  void ZapisOkno(const TModuleSetup& setup) override;
  void PrectiOkno(TModuleSetup& setup) override;
  void ZapisData(const TModuleSetup& setup) override;

  // Writes `value` into register `reg` and at once, without pumping, reads
  // it back (the read-back sends the value as b6 and b7). Returns 0 with an
  // empty errorText; the failed status with the driver's text; or 9 with
  // "Chyba zápisu dat." when the register reads back another value.
  uint8_t ZapisRegistr(TInterfaceType type, int32_t handle, uint8_t address, uint8_t reg, uint8_t value,
                       QString& errorText);

  static constexpr uint8_t kFirstRegister = dqcmd::kRegPulseBase;
  static constexpr int kCounterCount = 4;
  static constexpr uint16_t kLowestPulseNumber = 1;
  static constexpr uint16_t kHighestPulseNumber = 1000;

 private:
  std::array<QLabel*, kCounterCount> CounterLabels{};  // Label1-Label4: "Čítač 0" .. "Čítač 3"
  QLabel* Label5;                                      // "Impulsní číslo"
  std::array<QLineEdit*, kCounterCount> Edits{};       // Edit1-Edit4
};
