#include "Pripojeni.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPalette>
#include <QShowEvent>
#include <QSizePolicy>
#include <QVBoxLayout>

#include "FormCommon.h"
#include "Txxx847.h"

namespace {

const QString kInitialisingText = QStringLiteral("Probíhá inicializace připojení");
const QString kInitFailedPrefix = QStringLiteral("Chyba inicializace připojení - ");
const QString kSuccessPrefix = QStringLiteral("Připojení úspěšně inicializováno. Připojen modul   ");
const QString kUnknownInterfaceText = QStringLiteral("Neznámý typ rozhraní");
const QString kBadIpText = QStringLiteral("Neplatná IP adresa");
const QString kBadUdpPortText = QStringLiteral("Neplatný UDP port");
const QString kBadUdpTimeoutText = QStringLiteral("Neplatný UDP timeout");
const char* const kStatusOkUtf8 = "V pořádku";

constexpr uint8_t kIdentifyCommand = 200;
constexpr int kIdentifyExchanges = 3;
constexpr uint16_t kDefaultIsaBase = 0x300;
constexpr int32_t kLastSetConfigArgument = 2;

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

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
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
  ComboBox2->addItems({QStringLiteral("Standardní COMx"), QStringLiteral("ISA karta PCI-847"),
                       QStringLiteral("PCI karta PCI-2847"), QStringLiteral("USB konvertor USB-2847"),
                       QStringLiteral("LAN konvertor DQ-2847")});
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
  for (int code = 0; code < kBaudCodeCount; ++code)
    ComboBox1->addItem(QString::number(BaudRateFromCode(static_cast<uint8_t>(code))) + QStringLiteral(" Bd"));
  Label4 = label("Label4", QStringLiteral("Status připojení"));

  // The status panel: white, sunken, left-aligned, wide enough for the
  // success text with a module identification; a longer text is elided.
  Panel1 = new TStatusPanel(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Panel1->setAutoFillBackground(true);
  QPalette palette = Panel1->palette();
  palette.setColor(QPalette::Window, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  Panel1->setPalette(palette);
  Panel1->setMinimumHeight(fontMetrics().height() + 10);
  Panel1->setMinimumWidth(
      fontMetrics().horizontalAdvance(kSuccessPrefix + QStringLiteral("WWWWWWWW v.WWWW")) + 16);
  Panel1->setMargin(2);

  Button1 = new QPushButton(QStringLiteral("Inicializace připojení"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setAutoDefault(false);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setAutoDefault(false);

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
  const int editWidth = fontMetrics().horizontalAdvance(QStringLiteral("USB konvertor USB-2847")) + 48;
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
  connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);

  // The fields from top to bottom, then the buttons; the focus starts on the
  // interface list, so a stray Space or Enter does not initialise the link.
  firstField_ = ChainFieldsBeforeButtons(this, {Button1, Button2});
  firstField_->setFocus();
}

void TForm2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  CentreOnScreen(this);
  FormShow();
  firstField_->setFocus();
}

void TForm2::SetStatus(const QString& text) {
  Panel1->setText(text);
  Panel1->repaint();
}

bool TForm2::ArrangeParameters(int type) {
  for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label6), static_cast<QWidget*>(Label7),
                     static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Edit4)})
    w->hide();
  switch (type) {
    case itComPort:
      Label3->setText(QStringLiteral("Číslo portu COMx"));
      Edit2->setText(QString::number(config_->ComPort));
      Label3->show();
      Edit2->show();
      return true;
    case itPci847:
      Label3->setText(QStringLiteral("Bázová adresa PCI-847"));
      Edit2->setText(IsaBaseText(config_->IsaBaseAddress));
      Label3->show();
      Edit2->show();
      return true;
    case itPci2847:
    case itUsb2847:
      return true;
    case itDq2847:
      Label3->setText(QStringLiteral("IP adresa"));
      Edit2->setText(FromCp1250(config_->IpAddress));
      Edit3->setText(QString::number(config_->UdpPort));
      Edit4->setText(QString::number(config_->UdpTimeout));
      for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label6), static_cast<QWidget*>(Label7),
                         static_cast<QWidget*>(Edit2), static_cast<QWidget*>(Edit3), static_cast<QWidget*>(Edit4)})
        w->show();
      return true;
    default:
      return false;
  }
}

void TForm2::FormShow() {
  if (config_ == nullptr) return;
  Edit1->setText(QString::number(config_->ModuleAddress));
  ComboBox1->setCurrentIndex(BaudCodeFromRate(config_->BaudRate));
  ComboBox2->setCurrentIndex(config_->InterfaceType < kInterfaceTypeCount ? config_->InterfaceType : -1);
  ArrangeParameters(config_->InterfaceType);
  Panel1->setText(FromCp1250(config_->StatusText));
}

void TForm2::ComboBox2Change() {
  if (config_ == nullptr) return;
  if (!ArrangeParameters(ComboBox2->currentIndex())) {
    SetStatus(kUnknownInterfaceText);
    Label3->show();
    Edit2->show();
  }
}

void TForm2::Button2Click() { reject(); }

bool TForm2::TakeInterfaceParameters() {
  switch (config_->InterfaceType) {
    case itComPort: {
      int32_t port = 0;
      if (!ParseTyped(Edit2->text(), port)) port = 1;
      const uint16_t port16 = static_cast<uint16_t>(port);
      Edit2->setText(QString::number(port16));
      config_->ComPort = static_cast<uint8_t>(port);
      config_->InitParams[0] = port16;
      return true;
    }
    case itPci847: {
      const uint16_t base = ParseIsaBase(Edit2->text());
      Edit2->setText(IsaBaseText(base));
      config_->IsaBaseAddress = base;
      config_->InitParams[0] = base;
      return true;
    }
    case itPci2847:
    case itUsb2847:
      return true;
    case itDq2847: {
      if (Edit2->text().isEmpty()) {
        SetStatus(kBadIpText);
        return false;
      }
      config_->IpAddress = ToCp1250(Edit2->text());
      if (!ParseUdpValue(Edit3->text(), config_->UdpPort)) {
        SetStatus(kBadUdpPortText);
        return false;
      }
      if (!ParseUdpValue(Edit4->text(), config_->UdpTimeout)) {
        SetStatus(kBadUdpTimeoutText);
        return false;
      }
      // The library copies the text during Init; the record keeps it alive.
      config_->InitParams[0] = reinterpret_cast<intptr_t>(config_->IpAddress.c_str());
      config_->InitParams[1] = static_cast<intptr_t>(config_->UdpPort);
      config_->InitParams[2] = static_cast<intptr_t>(config_->UdpTimeout);
      return true;
    }
    default:
      SetStatus(kUnknownInterfaceText);
      return false;
  }
}

void TForm2::CloseNewLink(int32_t& handle) {
  DriverDone(config_->InterfaceType, handle);
  config_->DriverHandle = handle;
  config_->Initialized = false;
}

void TForm2::Button1Click() {
  if (config_ == nullptr) return;

  // 1. A click on an initialised link always closes it first.
  int32_t handle = config_->DriverHandle;
  if (config_->Initialized && config_->DriverHandle != 0) {
    DriverDone(config_->InterfaceType, handle);
    config_->DriverHandle = handle;
    config_->Initialized = false;
  }
  SetStatus(kInitialisingText);

  // 2. Address, rate and interface from the controls.
  int32_t typedAddress = 0;
  if (!ParseTyped(Edit1->text(), typedAddress)) typedAddress = 0;
  const uint8_t address = static_cast<uint8_t>(typedAddress);
  Edit1->setText(QString::number(address));
  const uint8_t baudCode = static_cast<uint8_t>(ComboBox1->currentIndex());
  config_->InterfaceType = static_cast<TInterfaceType>(ComboBox2->currentIndex());
  for (intptr_t& word : config_->InitParams) word = 0;
  if (!TakeInterfaceParameters()) return;
  const TInterfaceType type = config_->InterfaceType;

  // 3. Load, bind and initialise the library, then configure the rate.
  int32_t result = DriverInit(type, handle, config_->InitParams);
  QString text = DriverText(type, result);
  if (result != 0) {
    SetStatus(kInitFailedPrefix + text);
    config_->Initialized = false;
    return;
  }
  config_->Initialized = true;
  result = DriverSetConfig(type, handle, static_cast<int32_t>(BaudRateFromCode(baudCode)), BaudTiming(baudCode),
                           kLastSetConfigArgument);
  text = DriverText(type, result);
  if (result != 0) {
    SetStatus(kInitFailedPrefix + text);
    CloseNewLink(handle);
    return;
  }

  // 4. Identify the module: type name in two parts, then its version. The
  // count byte of each reply travels on as b3 of the next request.
  std::string parts[kIdentifyExchanges];
  uint8_t b3 = 0;
  TExchangeReply reply{};
  for (int subcode = 0; subcode < kIdentifyExchanges; ++subcode) {
    uint8_t b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0;
    ModuleExchange(type, handle, address, kIdentifyCommand, static_cast<uint8_t>(subcode), b3, b4, b5, b6, b7,
                   status, reply);
    text = DriverText(type, status);
    if (status != 0) {
      SetStatus(text);
      CloseNewLink(handle);
      return;
    }
    for (uint8_t byte : {b4, b5, b6, b7}) parts[subcode].push_back(static_cast<char>(byte));
  }

  // 5. Success.
  config_->ModuleIdent = parts[0] + parts[1] + " v." + parts[2];
  SetStatus(kSuccessPrefix + FromCp1250(config_->ModuleIdent));
  config_->ModuleAddress = address;
  config_->BaudRate = BaudRateFromCode(baudCode);
  config_->StatusText = Cp1250FromUtf8(kStatusOkUtf8);
  config_->DriverHandle = handle;
}
