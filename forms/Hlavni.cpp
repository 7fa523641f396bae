#include "Hlavni.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <cstdio>
#include <exception>
#include <new>

#include "Citac618.h"
#include "FormCommon.h"
#include "NastavAdr.h"
#include "NastavDIO.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "OkamDOUT.h"
#include "OpenLink.h"
#include "Pripojeni.h"
#include "RTC.h"
#include "StatReg.h"
#include "Txxx847.h"

namespace {

const QString kCaption = QStringLiteral(" DQ-7184/9 (v.1.02) -  nastavení modulu");
const char* const kNoRecordUtf8 = "Nelze vytvořit datové struktury programu";
constexpr int kPanelCount = 4;
constexpr int kModulePanel = 0;
constexpr int kAddressPanel = 1;
constexpr int kRatePanel = 2;
constexpr int kMessagePanel = 3;

TConnectionConfig* AllocateConfig() { return new (std::nothrow) TConnectionConfig; }

QString NativeText(const std::string& text) { return QString::fromLocal8Bit(text.data(), static_cast<int>(text.size())); }

QString SettingsWriteMessage(const QString& fileName, const QString& reason) {
  QString message = QStringLiteral("Nastavení nelze uložit do souboru\n%1").arg(fileName);
  if (!reason.isEmpty()) message += QStringLiteral("\n\n") + reason;
  return message;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : TForm1(SettingsFilePath(), nullptr, parent) {}

TForm1::TForm1(const std::string& settingsPath, ConfigAllocator allocate, QWidget* parent)
    : QMainWindow(parent), settingsPath_(settingsPath), allocate_(allocate != nullptr ? allocate : &AllocateConfig) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(kCaption);
  BuildMenu();
  BuildStatusBar();
  resize(640, 400);
  CentreOnScreen();
  FormCreate();
}

TForm1::~TForm1() {
  // Normally released by FormClose; a window destroyed without being closed
  // still frees its record.
  delete config_;
}

QAction* TForm1::AddItem(QMenu* menu, const char* name, const QString& caption, void (TForm1::*handler)(),
                         bool visible) {
  QAction* action = menu != nullptr ? menu->addAction(caption) : menuBar()->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  action->setVisible(visible);
  connect(action, &QAction::triggered, this, handler);
  return action;
}

void TForm1::BuildMenu() {
  menuBar()->setObjectName(QStringLiteral("MainMenu1"));
  AddItem(nullptr, "Pipojen1", QStringLiteral("&Připojení"), &TForm1::Pipojen1Click);

  QMenu* settings = menuBar()->addMenu(QStringLiteral("&Nastavení"));
  settings->setObjectName(QStringLiteral("Nastaven1"));
  settings->menuAction()->setObjectName(QStringLiteral("Nastaven1"));
  AddItem(settings, "AdresaRychlost1", QStringLiteral("Adresa, rychlost"), &TForm1::AdresaRychlost1Click);
  AddItem(settings, "NastavAIN1", QStringLiteral("Čítače DQ-618"), &TForm1::NastavAIN1Click, false);
  AddItem(settings, "HodinovobvodRTC1", QStringLiteral("Hodinový obvod RTC"), &TForm1::HodinovobvodRTC1Click, false);
  AddItem(settings, "NastavDIO1", QStringLiteral("Digitální vstupy/výstupy"), &TForm1::NastavDIO1Click);

  QMenu* live = menuBar()->addMenu(QStringLiteral("&Okamžité hodnoty"));
  live->setObjectName(QStringLiteral("Okamithodnoty1"));
  live->menuAction()->setObjectName(QStringLiteral("Okamithodnoty1"));
  AddItem(live, "OkamAIN2", QStringLiteral("Čítače"), &TForm1::OkamAIN2Click);
  AddItem(live, "OkamDIN2", QStringLiteral("Digitální vstupy"), &TForm1::OkamDIN2Click);
  AddItem(live, "OkamDOUT1", QStringLiteral("Digitální výstupy"), &TForm1::OkamDOUT1Click, false);
  AddItem(live, "Statusregistr1", QStringLiteral("Status registr"), &TForm1::Statusregistr1Click);

  AddItem(nullptr, "Konec2", QStringLiteral("&Konec"), &TForm1::Konec2Click);
}

void TForm1::BuildStatusBar() {
  // Module, address and rate panels of fixed width; the fourth, for the
  // program's own message, takes what is left and is narrow at the usual size.
  const QFontMetrics metrics = fontMetrics();
  const int moduleWidth = metrics.horizontalAdvance(QStringLiteral(" Modul  DQ-7184/9 v.1.02")) + 40;
  const int addressWidth = metrics.horizontalAdvance(QStringLiteral(" Adresa  255")) + 30;
  const int rateWidth = metrics.horizontalAdvance(QStringLiteral(" Rychlost  115200Bd")) + 30;
  StatusBar1 = new TStatusBar(kPanelCount, this, {moduleWidth, addressWidth, rateWidth, 0});
  statusBar()->addPermanentWidget(StatusBar1, 1);
  StatusBar1->SetPanelText(kModulePanel, QStringLiteral(" Modul"));
  StatusBar1->SetPanelText(kAddressPanel, QStringLiteral(" Adresa"));
  StatusBar1->SetPanelText(kRatePanel, QStringLiteral(" Rychlost"));
  StatusBar1->SetPanelText(kMessagePanel, QString());
}

void TForm1::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void TForm1::FormCreate() {
  if (config_ != nullptr) return;
  config_ = allocate_();
  if (config_ == nullptr) {
    StatusBar1->SetPanelText(kMessagePanel, QStringLiteral(" ") + QString::fromUtf8(kNoRecordUtf8));
    return;
  }
  SetConnectionDefaults(config_);
  ReadSettings(config_, settingsPath_);
}

void TForm1::WriteSettingsFile() { WriteSettings(config_, settingsPath_); }

void TForm1::ShowSettingsWriteError(const QString& message) {
  QMessageBox::critical(this, windowTitle(), message);
}

void TForm1::SaveSettingsOnce() {
  if (settingsWriteTried_) return;
  settingsWriteTried_ = true;
  try {
    WriteSettingsFile();
  } catch (const ESettingsWriteError& error) {
    settingsWriteError_ = SettingsWriteMessage(NativeText(error.FileName()), NativeText(error.Reason()));
  } catch (const std::exception& error) {
    settingsWriteError_ = SettingsWriteMessage(NativeText(settingsPath_), NativeText(error.what()));
  }
}

void TForm1::FormClose() {
  if (config_ == nullptr) return;
  // A settings file that cannot be written must not keep the program from
  // closing the driver and ending: the user is told which file it was.
  SaveSettingsOnce();
  if (!settingsWriteError_.isEmpty()) ShowSettingsWriteError(settingsWriteError_);
  CloseLink(*config_);
  delete config_;
  config_ = nullptr;
}

bool TForm1::CloseWithoutBoxes() {
  if (config_ == nullptr) return settingsWriteError_.isEmpty();
  SaveSettingsOnce();
  if (!settingsWriteError_.isEmpty()) {
    std::fprintf(stderr, "%s\n", settingsWriteError_.toLocal8Bit().constData());
    std::fflush(stderr);
  }
  CloseLink(*config_);
  return settingsWriteError_.isEmpty();
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TForm1::Pipojen1Click() {
  if (config_ == nullptr) return;
  RunDialog<TForm2>();
  // Whatever the outcome, the panels show the record as it now stands.
  StatusBar1->SetPanelText(kModulePanel, QStringLiteral(" Modul  ") + FromCp1250(config_->ModuleIdent));
  StatusBar1->SetPanelText(kAddressPanel, QStringLiteral(" Adresa  ") + QString::number(config_->ModuleAddress));
  StatusBar1->SetPanelText(kRatePanel,
                           QStringLiteral(" Rychlost  ") + QString::number(config_->BaudRate) + QStringLiteral("Bd"));
}

void TForm1::AdresaRychlost1Click() { RunDialog<TForm12>(); }
void TForm1::NastavAIN1Click() { RunDialog<TForm5>(); }
void TForm1::HodinovobvodRTC1Click() { RunDialog<TForm3>(); }
void TForm1::NastavDIO1Click() { RunDialog<TForm14>(); }
void TForm1::OkamAIN2Click() { RunDialog<TForm6>(); }
void TForm1::OkamDIN2Click() { RunDialog<TForm11>(); }
void TForm1::OkamDOUT1Click() { RunDialog<TForm9>(); }
void TForm1::Statusregistr1Click() { RunDialog<TForm15>(); }

void TForm1::Konec2Click() { close(); }
