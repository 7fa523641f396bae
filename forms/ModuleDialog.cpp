#include "ModuleDialog.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QShowEvent>

#include "StatusTexts.h"

TModuleDialog::TModuleDialog(QWidget* parent, Qt::WindowFlags flags, int statusPanels) : QDialog(parent, flags) {
  if (statusPanels > 0) {
    StatusBar1 = new TStatusBar(statusPanels, this);
    FitStatusTexts(Prefixed(QStringLiteral(" "), DriverTexts()) << kLinkNotInitialisedText);
  }
}

void TModuleDialog::FitStatusTexts(const QStringList& texts) {
  if (StatusBar1 != nullptr) StatusBar1->Panel(0)->FitTexts(texts);
}

QString TModuleDialog::StatusText() const { return StatusBar1 != nullptr ? StatusBar1->PanelText(0) : QString(); }

void TModuleDialog::SetStatus(const QString& text) {
  if (StatusBar1 != nullptr) StatusBar1->SetPanelText(0, text);
}

QPushButton* TModuleDialog::NewButton(const QString& text, const QString& objectName) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(objectName);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

void TModuleDialog::SetFocusAtOpening(QWidget* widget) {
  focusAtOpening_ = widget;
  if (focusAtOpening_ != nullptr) focusAtOpening_->setFocus();
}

void TModuleDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window system's own show (restoring a minimised window) is no new opening.
  if (event->spontaneous()) return;
  CentreOnScreen(this);
  moduleAddress_ = config_ != nullptr ? config_->ModuleAddress : 0;
  FormShow();
  if (focusAtOpening_ != nullptr) focusAtOpening_->setFocus();
}

void TModuleDialog::done(int result) {
  if (Busy()) {
    closePending_ = true;
    pendingResult_ = result;
    return;
  }
  closePending_ = false;
  QDialog::done(result);
}

void TModuleDialog::closeEvent(QCloseEvent* event) {
  // The close box and Alt+F4 wait for the running sequence like "Cancel".
  if (Busy()) {
    closePending_ = true;
    pendingResult_ = QDialog::Rejected;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

TModuleDialog::TBusyScope::TBusyScope(TModuleDialog& dialog) : dialog_(dialog) { ++dialog_.busy_; }

TModuleDialog::TBusyScope::~TBusyScope() {
  if (--dialog_.busy_ == 0 && dialog_.closePending_) dialog_.done(dialog_.pendingResult_);
}
