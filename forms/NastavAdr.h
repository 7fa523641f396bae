// Unit NastavAdr: the window "Nastavení komunikační adresy a rychlosti". It
// reads the module's own bus address (register 0x3F) and baud-rate code
// (register 0x3E), shows them for editing and writes them back, each
// register verified by a read-back. The link keeps using the record's
// ModuleAddress and BaudRate whatever is written here.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <cstdint>

#include "ConfigWindow.h"
#include "core/ModuleCommands.h"

class TForm12 : public TConfigWindow {
  Q_OBJECT
 public:
  explicit TForm12(QWidget* parent = nullptr);

  void PrectiData(TModuleSetup& setup) override;
  void ZapisOkno(const TModuleSetup& setup) override;
  void PrectiOkno(TModuleSetup& setup) override;
  void ZapisData(const TModuleSetup& setup) override;

  // The whole text as an integer (integer text rule) within low..high;
  // `value` is left unchanged when it is not.
  static bool ParseByteInRange(const QString& text, int32_t low, int32_t high, uint8_t& value);

  static constexpr uint8_t kAddressRegister = dqcmd::kRegAddress;
  static constexpr uint8_t kBaudCodeRegister = dqcmd::kRegBaudCode;

 private:
  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* Edit1;
  QComboBox* ComboBox1;
};
