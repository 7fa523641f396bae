#include "Pripojeni.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPalette>
#include <QSizePolicy>
#include <QVBoxLayout>

#include "FormCommon.h"
#include "InterfaceFields.h"
#include "OpenLink.h"
#include "StatusTexts.h"

namespace {

const QString kInitialisingText = QStringLiteral("Probíhá inicializace připojení");
const QString kInitFailedPrefix = QStringLiteral("Chyba inicializace připojení - ");
const QString kSuccessPrefix = QStringLiteral("Připojení úspěšně inicializováno. Připojen modul   ");
const QString kUnknownInterfaceText = QStringLiteral("Neznámý typ rozhraní");
const QString kBadIpText = QStringLiteral("Neplatná IP adresa");
const QString kBadUdpPortText = QStringLiteral("Neplatný UDP port");
const QString kBadUdpTimeoutText = QStringLiteral("Neplatný UDP timeout");

constexpr uint16_t kDefaultIsaBase = 0x300;

// ISA base address as shown in the window: at least three upper-case
// hexadecimal digits followed by "h" (768 -> "300h").
QString IsaBaseText(uint16_t base) {
  return QStringLiteral("%1").arg(base, 3, 16, QLatin1Char('0')).toUpper() + QLatin1Char('h');
}

// A number typed by the user, by the integer text rule.
bool ParseTyped(const QString& text, int32_t& value) { return TryParseInteger(ToCp1250(text), value); }

// An ISA base typed as "2A0h": four characters of which the first three are
// hexadecimal digits. Any other length means 300 hexadecimal; a text that is
// no number means 768.
uint16_t ParseIsaBase(const QString& text) {
  const std::string bytes = ToCp1250(text);
  const std::string hex = bytes.size() == 4 ? "$" + bytes.substr(0, 3) : std::string("$300");
  int32_t value = 0;
  if (!TryParseInteger(hex, value)) value = kDefaultIsaBase;
  return static_cast<uint16_t>(value);
}

bool ParseUdpValue(const QString& text, uint32_t& value) {
  int32_t parsed = 0;
  if (!ParseTyped(text, parsed) || parsed < 0 || parsed > 65535) return false;
  value = static_cast<uint32_t>(parsed);
  return true;
}

}  // namespace

TForm2::TForm2(QWidget* parent) : TModuleDialog(parent, Qt::WindowFlags(), 0) {
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Připojení modulu"));
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  BuildControls();
}

void TForm2::BuildControls() {
  auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  auto edit = [this](const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    return e;
  };

  Label5 = label("Label5", QStringLiteral("Komunikační rozhraní"));
  ComboBox2 = new QComboBox(this);
  ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
  for (TInterfaceType type = 0; type < kInterfaceTypeCount; ++type)
    ComboBox2->addItem(QString::fromUtf8(InterfaceView(type).caption));
  Label3 = label("Label3", QString());
  Edit2 = edit("Edit2");
  Label6 = label("Label6", QStringLiteral("UDP port"));
  Edit3 = edit("Edit3");
  Label7 = label("Label7", QStringLiteral("UDP timeout"));
  Edit4 = edit("Edit4");
  Label1 = label("Label1", QStringLiteral("Adresa připojeného modulu"));
  Edit1 = edit("Edit1");
  Label2 = label("Label2", QStringLiteral("Komunikační rychlost"));
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  AddBaudRateItems(ComboBox1);
  Label4 = label("Label4", QStringLiteral("Status připojení"));

  // The status panel: white, sunken, left-aligned, wide enough for every
  // text of the window and of the driver layer (a failure after its prefix,
  // the success text with the widest module identification); a text
  // nobody foresaw is elided.
  auto* panel = new TStatusPanel(this);
  Panel1 = panel;
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Panel1->setAutoFillBackground(true);
  QPalette palette = Panel1->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  Panel1->setPalette(palette);
  Panel1->setMinimumHeight(fontMetrics().height() + 10);
  Panel1->setMargin(2);
  panel->FitTexts(QStringList{kInitialisingText, kSuccessPrefix + QStringLiteral("WWWWWWWW v.WWWW"),
                               kUnknownInterfaceText, kBadIpText, kBadUdpPortText, kBadUdpTimeoutText}
                   << DriverTexts() << Prefixed(kInitFailedPrefix, DriverTexts()));

  Button1 = NewButton(QStringLiteral("Inicializace připojení"), QStringLiteral("Button1"), &TForm2::Button1Click);
  Button2 = NewButton(QStringLiteral("Cancel"), QStringLiteral("Button2"), &TForm2::Button2Click);

  // Parameter controls keep their place when hidden, so the window does not
  // jump when the interface changes.
  for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Label6),
                     static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Label7), static_cast<QWidget*>(Edit4)}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(6);
  const int editWidth = fontMetrics().horizontalAdvance(QString::fromUtf8(InterfaceView(itUsb2847).caption)) + 48;
  int row = 0;
  for (auto [l, w] : {std::pair<QLabel*, QWidget*>{Label5, ComboBox2}, {Label3, Edit2}, {Label6, Edit3},
                      {Label7, Edit4}, {Label1, Edit1}, {Label2, ComboBox1}}) {
    grid->addWidget(l, row, 0);
    grid->addWidget(w, row, 1);
    w->setFixedWidth(editWidth);
    l->setBuddy(w);
    ++row;
  }
  grid->setColumnStretch(0, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 14, 14, 12);
  layout->addLayout(grid);
  layout->addSpacing(10);
  layout->addWidget(Label4);
  layout->addWidget(Panel1);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // activated fires on a user's choice only, not when FormShow selects an item.
  connect(ComboBox2, &QComboBox::activated, this, [this](int) { ComboBox2Change(); });

  // The fields from top to bottom, then the buttons; the focus starts on the
  // interface list, so a stray Space or Enter does not initialise the link.
  SetFocusAtOpening(ChainFieldsBeforeButtons(this, {Button1, Button2}));
}

void TForm2::ShowMessage(const QString& text) {
  Panel1->setText(text);
  Panel1->repaint();
}

bool TForm2::ArrangeParameters(int type) {
  for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label6), static_cast<QWidget*>(Label7),
                     static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Edit4)})
    w->hide();
  if (type < 0 || type >= kInterfaceTypeCount) return false;
  const TInterfaceView& view = InterfaceView(static_cast<TInterfaceType>(type));
  if (view.parameterLabel != nullptr) Label3->setText(QString::fromUtf8(view.parameterLabel));
  switch (view.fields) {
    case TInterfaceFields::ComPort:
      Edit2->setText(QString::number(Config()->ComPort));
      Label3->show();
      Edit2->show();
      return true;
    case TInterfaceFields::IsaBase:
      Edit2->setText(IsaBaseText(Config()->IsaBaseAddress));
      Label3->show();
      Edit2->show();
      return true;
    case TInterfaceFields::None:
      return true;
    case TInterfaceFields::Lan:
      Edit2->setText(FromCp1250(Config()->IpAddress));
      Edit3->setText(QString::number(Config()->UdpPort));
      Edit4->setText(QString::number(Config()->UdpTimeout));
      for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label6), static_cast<QWidget*>(Label7),
                         static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Edit4)})
        w->show();
      return true;
  }
  return false;
}

void TForm2::FormShow() {
  if (Config() == nullptr) return;
  Edit1->setText(QString::number(Config()->ModuleAddress));
  ComboBox1->setCurrentIndex(BaudCodeFromRate(Config()->BaudRate));
  ComboBox2->setCurrentIndex(Config()->InterfaceType < kInterfaceTypeCount ? Config()->InterfaceType : -1);
  ArrangeParameters(Config()->InterfaceType);
  Panel1->setText(FromCp1250(Config()->StatusText));
}

void TForm2::ComboBox2Change() {
  if (Config() == nullptr) return;
  if (!ArrangeParameters(ComboBox2->currentIndex())) {
    ShowMessage(kUnknownInterfaceText);
    Label3->show();
    Edit2->show();
  }
}

void TForm2::Button2Click() { reject(); }

bool TForm2::TakeInterfaceParameters() {
  TConnectionConfig& config = *Config();
  if (config.InterfaceType >= kInterfaceTypeCount) {
    ShowMessage(kUnknownInterfaceText);
    return false;
  }
  switch (InterfaceView(config.InterfaceType).fields) {
    case TInterfaceFields::ComPort: {
      int32_t port = 0;
      if (!ParseTyped(Edit2->text(), port)) port = 1;
      const uint16_t port16 = static_cast<uint16_t>(port);
      Edit2->setText(QString::number(port16));
      config.ComPort = static_cast<uint8_t>(port);
      PackInitParams(config, port16);
      return true;
    }
    case TInterfaceFields::IsaBase: {
      const uint16_t base = ParseIsaBase(Edit2->text());
      Edit2->setText(IsaBaseText(base));
      config.IsaBaseAddress = base;
      PackInitParams(config);
      return true;
    }
    case TInterfaceFields::None:
      return true;
    case TInterfaceFields::Lan: {
      if (Edit2->text().isEmpty()) {
        ShowMessage(kBadIpText);
        return false;
      }
      config.IpAddress = ToCp1250(Edit2->text());
      if (!ParseUdpValue(Edit3->text(), config.UdpPort)) {
        ShowMessage(kBadUdpPortText);
        return false;
      }
      if (!ParseUdpValue(Edit4->text(), config.UdpTimeout)) {
        ShowMessage(kBadUdpTimeoutText);
        return false;
      }
      PackInitParams(config);
      return true;
    }
  }
  return false;
}

void TForm2::Button1Click() {
  if (Config() == nullptr) return;
  TConnectionConfig& config = *Config();

  // A click on an initialised link always closes it first.
  CloseLink(config);
  ShowMessage(kInitialisingText);

  // Address, rate and interface from the controls.
  int32_t typedAddress = 0;
  if (!ParseTyped(Edit1->text(), typedAddress)) typedAddress = 0;
  const uint8_t address = static_cast<uint8_t>(typedAddress);
  Edit1->setText(QString::number(address));
  const uint8_t baudCode = static_cast<uint8_t>(ComboBox1->currentIndex());
  config.InterfaceType = static_cast<TInterfaceType>(ComboBox2->currentIndex());
  ClearInitParams(config);
  if (!TakeInterfaceParameters()) return;

  // Load, initialise and configure the library, then identify the module.
  const TLinkOutcome outcome = OpenLink(config, address, baudCode);
  switch (outcome.Stage) {
    case TLinkStage::Init:
    case TLinkStage::SetConfig:
      ShowMessage(kInitFailedPrefix + FromCp1250(outcome.Text));
      break;
    case TLinkStage::Identify:
      ShowMessage(FromCp1250(outcome.Text));
      break;
    case TLinkStage::Open:
      ShowMessage(kSuccessPrefix + FromCp1250(config.ModuleIdent));
      break;
  }
}
