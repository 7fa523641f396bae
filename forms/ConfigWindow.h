// The common frame of the configuration windows: the record reference and
// the working copy of TModuleSetup, the buttons "Zapsat", "Přečíst", "Ok",
// "Cancel" with their handlers, and the register sequences, during which
// the buttons are deaf. Each window supplies PrectiData, ZapisOkno,
// PrectiOkno and ZapisData and lays out its own controls.
#pragma once

#include <QPushButton>
#include <QString>
#include <vector>

#include "Dekl.h"
#include "ModuleDialog.h"
#include "RegisterSequence.h"

class QLayout;

class TConfigWindow : public TModuleDialog {
  Q_OBJECT
 public:
  // The window's working copy of the record's ModuleSetup block.
  const TModuleSetup& WorkingCopy() const { return setup_; }

  // True while a read or write sequence (or the handler that runs it) is on
  // the stack.
  bool SequenceRunning() const { return Busy(); }

  // The four methods of the configuration-window pattern.
  virtual void PrectiData(TModuleSetup& setup) = 0;        // module -> setup
  virtual void ZapisOkno(const TModuleSetup& setup) = 0;   // setup -> controls
  virtual void PrectiOkno(TModuleSetup& setup) = 0;        // controls -> setup, result in the status
  virtual void ZapisData(const TModuleSetup& setup) = 0;   // setup -> module

 public slots:
  void FormShow() override;
  void Button1Click();  // "Zapsat"
  void Button2Click();  // "Přečíst"
  void Button3Click();  // "Ok"
  void Button4Click();  // "Cancel"

 protected:
  TConfigWindow(const QString& caption, QWidget* parent);

  // The validation result: the status is exactly one blank.
  bool ValidationPassed() const;
  // Whether "Zapsat" or "Přečíst" may exchange now: a record, no sequence
  // running, and an initialised link (otherwise the not-initialised text is
  // shown).
  bool CanStartExchange();

  QPushButton* Button1;  // "Zapsat"
  QPushButton* Button2;  // "Přečíst"
  QPushButton* Button3;  // "Ok"
  QPushButton* Button4;  // "Cancel"

  // Puts `body` above the status bar and fixes the window's size; the Tab
  // order runs through the fields before the buttons.
  void SetBody(QLayout* body);
  // The four buttons in a row, in the order "Zapsat", "Přečíst", "Ok", "Cancel".
  QLayout* ButtonRow();

  // Register sequences over the link as the record holds it now. Without a
  // record or an initialised link they do nothing and return false.
  bool ReadRegisters(const std::vector<uint8_t>& registers, const TReadStyle& style, const TRegisterStore& store);
  bool WriteRegisters(const std::vector<TRegisterWrite>& writes, const TWriteStyle& style,
                      const TVerifiedWrite& verifiedWrite = {});

  TModuleSetup setup_{};  // the working copy

 private:
  // A sequence over the record's link that reports into the status bar.
  TRegisterSequence NewSequence();
};
