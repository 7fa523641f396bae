#include "ConfigWindow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TConfigWindow::TConfigWindow(const QString& caption, QWidget* parent)
    : TModuleDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                                Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(caption);
  Button1 = NewButton(QStringLiteral("Zapsat"), QStringLiteral("Button1"), &TConfigWindow::Button1Click);
  Button2 = NewButton(QStringLiteral("Přečíst"), QStringLiteral("Button2"), &TConfigWindow::Button2Click);
  Button3 = NewButton(QStringLiteral("Ok"), QStringLiteral("Button3"), &TConfigWindow::Button3Click);
  Button4 = NewButton(QStringLiteral("Cancel"), QStringLiteral("Button4"), &TConfigWindow::Button4Click);
  FitStatusTexts(SequenceTexts());
}

void TConfigWindow::SetBody(QLayout* body) {
  auto* frame = new QVBoxLayout(this);
  frame->setContentsMargins(0, 8, 0, 0);
  auto* inner = new QVBoxLayout;
  inner->setContentsMargins(8, 0, 8, 0);
  inner->addLayout(body);
  frame->addLayout(inner);
  frame->addWidget(StatusBar1);
  frame->setSizeConstraint(QLayout::SetFixedSize);
  // The focus starts on the first field, never on "Zapsat".
  QWidget* firstField = ChainFieldsBeforeButtons(this, {Button1, Button2, Button3, Button4});
  SetFocusAtOpening(firstField != nullptr ? firstField : Button2);
}

QLayout* TConfigWindow::ButtonRow() {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QPushButton* button : {Button1, Button2, Button3, Button4}) row->addWidget(button);
  return row;
}

bool TConfigWindow::ValidationPassed() const { return StatusText() == QStringLiteral(" "); }

void TConfigWindow::FormShow() {
  if (Config() == nullptr) return;
  setup_ = Config()->ModuleSetup;
  ZapisOkno(setup_);
  SetStatus(QStringLiteral(" "));
}

bool TConfigWindow::CanStartExchange() {
  if (Config() == nullptr || SequenceRunning()) return false;
  if (LinkReady(Config())) return true;
  SetStatus(kLinkNotInitialisedText);
  return false;
}

void TConfigWindow::Button2Click() {
  if (!CanStartExchange()) return;
  TBusyScope busy(*this);
  PrectiData(setup_);
  // Also after a failed read: the controls show whatever the copy now holds.
  ZapisOkno(setup_);
}

void TConfigWindow::Button1Click() {
  if (!CanStartExchange()) return;
  TBusyScope busy(*this);
  PrectiOkno(setup_);
  if (ValidationPassed()) ZapisData(setup_);
}

void TConfigWindow::Button3Click() {
  if (Config() == nullptr || SequenceRunning()) return;
  PrectiOkno(setup_);
  if (ValidationPassed()) Config()->ModuleSetup = setup_;
  // Closes also when the input was invalid; the stored block is then unchanged.
  accept();
}

void TConfigWindow::Button4Click() { reject(); }

TRegisterSequence TConfigWindow::NewSequence() {
  return TRegisterSequence(TRegisterLink(*Config()), [this](const QString& text) { SetStatus(text); });
}

bool TConfigWindow::ReadRegisters(const std::vector<uint8_t>& registers, const TReadStyle& style,
                                  const TRegisterStore& store) {
  if (!LinkReady(Config())) return false;
  TBusyScope busy(*this);
  return NewSequence().Read(registers, style, store);
}

bool TConfigWindow::WriteRegisters(const std::vector<TRegisterWrite>& writes, const TWriteStyle& style,
                                   const TVerifiedWrite& verifiedWrite) {
  if (!LinkReady(Config())) return false;
  TBusyScope busy(*this);
  return NewSequence().Write(writes, style, verifiedWrite);
}
