#include "ConfigWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

TConfigWindow::TConfigWindow(const QString& caption, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(caption);
  Button1 = MakeButton("Button1", QStringLiteral("Zapsat"));
  Button2 = MakeButton("Button2", QStringLiteral("Přečíst"));
  Button3 = MakeButton("Button3", QStringLiteral("Ok"));
  Button4 = MakeButton("Button4", QStringLiteral("Cancel"));
  connect(Button1, &QPushButton::clicked, this, &TConfigWindow::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TConfigWindow::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TConfigWindow::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TConfigWindow::Button4Click);
  StatusBar1 = new TStatusBar(1, this);
}

QPushButton* TConfigWindow::MakeButton(const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(QString::fromLatin1(name));
  // Enter must not press a button: none is the dialog's default.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
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
  firstField_ = ChainFieldsBeforeButtons(this, {Button1, Button2, Button3, Button4});
  FocusAtOpening()->setFocus();
}

QWidget* TConfigWindow::FocusAtOpening() const { return firstField_ != nullptr ? firstField_ : Button2; }

QLayout* TConfigWindow::ButtonRow() {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QPushButton* button : {Button1, Button2, Button3, Button4}) row->addWidget(button);
  return row;
}

QString TConfigWindow::StatusText() const { return StatusBar1->PanelText(0); }

void TConfigWindow::SetStatus(const QString& text) { StatusBar1->SetPanelText(0, text); }

bool TConfigWindow::ValidationPassed() const { return StatusText() == QStringLiteral(" "); }

void TConfigWindow::FormShow() {
  if (config_ == nullptr) return;
  setup_ = config_->ModuleSetup;
  ZapisOkno(setup_);
  SetStatus(QStringLiteral(" "));
}

void TConfigWindow::Button2Click() {
  if (config_ == nullptr || SequenceRunning()) return;
  if (!LinkReady(config_)) {
    SetStatus(kLinkNotInitialisedText);
    return;
  }
  TSequenceGuard guard(*this);
  PrectiData(setup_);
  // Also after a failed read: the controls show whatever the copy now holds.
  ZapisOkno(setup_);
}

void TConfigWindow::Button1Click() {
  if (config_ == nullptr || SequenceRunning()) return;
  if (!LinkReady(config_)) {
    SetStatus(kLinkNotInitialisedText);
    return;
  }
  TSequenceGuard guard(*this);
  PrectiOkno(setup_);
  if (ValidationPassed()) ZapisData(setup_);
}

void TConfigWindow::Button3Click() {
  if (config_ == nullptr || SequenceRunning()) return;
  PrectiOkno(setup_);
  if (ValidationPassed()) config_->ModuleSetup = setup_;
  // Closes also when the input was invalid; the stored block is then unchanged.
  accept();
}

void TConfigWindow::Button4Click() { reject(); }

bool TConfigWindow::ReadRegisters(const std::vector<uint8_t>& registers, const TReadStyle& style,
                                  const TRegisterStore& store) {
  if (!LinkReady(config_)) return false;
  TSequenceGuard guard(*this);
  TRegisterSequence sequence(TRegisterLink(*config_), [this](const QString& text) { SetStatus(text); });
  return sequence.Read(registers, style, store);
}

bool TConfigWindow::WriteRegisters(const std::vector<TRegisterWrite>& writes, const TWriteStyle& style,
                                   const TVerifiedWrite& verifiedWrite) {
  if (!LinkReady(config_)) return false;
  TSequenceGuard guard(*this);
  TRegisterSequence sequence(TRegisterLink(*config_), [this](const QString& text) { SetStatus(text); });
  return sequence.Write(writes, style, verifiedWrite);
}

void TConfigWindow::done(int result) {
  if (SequenceRunning()) {
    closePending_ = true;
    pendingResult_ = result;
    return;
  }
  QDialog::done(result);
}

void TConfigWindow::closeEvent(QCloseEvent* event) {
  if (SequenceRunning()) {
    closePending_ = true;
    pendingResult_ = QDialog::Rejected;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TConfigWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  CentreOnScreen(this);
  FormShow();
  FocusAtOpening()->setFocus();
}

TConfigWindow::TSequenceGuard::TSequenceGuard(TConfigWindow& window) : window_(window) { ++window_.busyDepth_; }

TConfigWindow::TSequenceGuard::~TSequenceGuard() {
  if (--window_.busyDepth_ > 0 || !window_.closePending_) return;
  window_.closePending_ = false;
  window_.done(window_.pendingResult_);
}
