// Unit Pripojeni: the connection window "Připojení modulu". The only place
// where a link to the module is opened: it closes an earlier link, loads and
// configures the driver library of the chosen interface, identifies the
// module and stores the outcome in the shared connection record.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <cstdint>

#include "Dekl.h"
#include "ModuleDialog.h"

class TForm2 : public TModuleDialog {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);

 public slots:
  void FormShow() override;  // fills the controls from the record
  void ComboBox2Change();  // re-arranges the parameter controls for the chosen interface
  void Button1Click();     // "Inicializace připojení"
  void Button2Click();     // "Cancel"

 private:
  void BuildControls();
  // Hides every parameter control, then shows and fills those of `type`
  // from the values stored in the record; false for a type outside 0-4.
  bool ArrangeParameters(int type);
  // Panel1, the window's message panel, repainted at once.
  void ShowMessage(const QString& text);
  // The interface's own parameters from the controls into the
  // record and InitParams; false (with the message shown) ends the click.
  bool TakeInterfaceParameters();

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  QLabel* Label7;
  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QLineEdit* Edit3;
  QLineEdit* Edit4;
  QComboBox* ComboBox1;
  QComboBox* ComboBox2;
  QLabel* Panel1;
  QPushButton* Button1;
  QPushButton* Button2;
};
