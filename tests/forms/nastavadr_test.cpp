// Address and rate window against the scripted driver: the requests of its
// read and write sequences, their texts and pumps, validation, and what
// "Ok" keeps in the record.
#include <QComboBox>
#include <QLineEdit>

#include "NastavAdr.h"
#include "test_configwindow_fixture.h"

using harness::Q;
using namespace configtest;

namespace {

const QString kAddressMessage = Q(" Adresa modulu musí být v rozsahu 0-255.");
const QString kRateMessage = Q(" Komunikační rychlost musí být v rozsahu 600Bd-115200Bd.");

class Form12Test : public ConfigWindowTest {
 protected:
  int Rate() { return harness::Find<QComboBox>(&form_, "ComboBox1")->currentIndex(); }
  void SetRate(int index) { harness::Find<QComboBox>(&form_, "ComboBox1")->setCurrentIndex(index); }
  QString Address() { return harness::EditText(&form_, "Edit1"); }

  TForm12 form_;
};

// ---- Controls -------------------------------------------------------------

TEST_F(Form12Test, ControlsCarryTheirTexts) {
  EXPECT_EQ(form_.windowTitle(), Q("Nastavení komunikační adresy a rychlosti"));
  EXPECT_EQ(harness::LabelText(&form_, "Label1"), Q("Adresa modulu  (0-255)"));
  EXPECT_EQ(harness::LabelText(&form_, "Label2"), Q("Komunikační rychlost"));
  auto* combo = harness::Find<QComboBox>(&form_, "ComboBox1");
  ASSERT_NE(combo, nullptr);
  EXPECT_FALSE(combo->isEditable());
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  EXPECT_EQ(items, QStringList({"600 Bd", "1200 Bd", "2400 Bd", "4800 Bd", "9600 Bd", "19200 Bd", "38400 Bd",
                                "57600 Bd", "115200 Bd"}));
  EXPECT_EQ(Rate(), 4);  // 9600 Bd when built
  const char* captions[][2] = {{"Button1", "Zapsat"}, {"Button2", "Přečíst"}, {"Button3", "Ok"}, {"Button4", "Cancel"}};
  for (auto& caption : captions)
    EXPECT_EQ(harness::Find<QAbstractButton>(&form_, caption[0])->text(), Q(caption[1])) << caption[0];
  ASSERT_NE(harness::Find<TStatusBar>(&form_, "StatusBar1"), nullptr);
  EXPECT_EQ(harness::Find<TStatusBar>(&form_, "StatusBar1")->PanelCount(), 1);
}

TEST_F(Form12Test, ShowTakesTheStoredBlockWithoutReading) {
  config_.ModuleSetup.Address = 200;
  config_.ModuleSetup.BaudCode = 8;
  Open(form_);
  EXPECT_EQ(Address(), "200");
  EXPECT_EQ(Rate(), 8);
  EXPECT_EQ(harness::StatusPanel(&form_), " ");
  EXPECT_TRUE(Sent().empty());
}

// ---- ParseByteInRange and validation --------------------------------------

TEST_F(Form12Test, ParseByteInRangeFollowsTheIntegerTextRule) {
  struct Case {
    const char* text;
    bool ok;
    uint8_t value;
  };
  const Case cases[] = {{"255", true, 255}, {"0", true, 0},       {"  7", true, 7},    {"$FF", true, 255},
                        {"0xff", true, 255}, {"0XfF", true, 255}, {"x10", true, 16},   {"+7", true, 7},
                        {"256", false, 0},  {"-1", false, 0},     {"", false, 0},      {"7 ", false, 0},
                        {"$", false, 0},    {"-$1", false, 0},    {"$FFFFFFFF", false, 0}, {"99999999999", false, 0},
                        {"1a", false, 0}};
  for (const Case& c : cases) {
    uint8_t value = 42;
    EXPECT_EQ(TForm12::ParseByteInRange(QString::fromLatin1(c.text), 0, 255, value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : 42) << '"' << c.text << '"';
  }
}

// PrectiOkno takes the address, then the rate: an invalid address shows
// only its message and changes nothing, a valid one is stored before the
// rate is checked.
TEST_F(Form12Test, ReadingTheWindowStopsAtTheFirstInvalidField) {
  struct Row {
    const char* what;
    const char* address;
    int rate;
    QString message;
    uint8_t storedAddress;
    uint8_t storedRate;
  };
  const Row rows[] = {
      {"invalid address: only the address message, nothing changes", "256", -1, kAddressMessage, 9, 2},
      {"valid address without rate: the address stored, the rate message", "0x20", -1, kRateMessage, 0x20, 2},
      {"then a rate as well", "0x20", 7, " ", 0x20, 7},
  };
  Open(form_);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TModuleSetup setup = DefaultModuleSetup();
    setup.Address = 9;
    setup.BaudCode = 2;
    harness::Type(&form_, "Edit1", row.address);
    SetRate(row.rate);
    form_.PrectiOkno(setup);
    EXPECT_EQ(form_.StatusText(), row.message);
    EXPECT_EQ(setup.Address, row.storedAddress);
    EXPECT_EQ(setup.BaudCode, row.storedRate);
  }
}

TEST_F(Form12Test, ZapsatWithInvalidAddressSendsNothing) {
  Open(form_);
  for (const char* text : {"-1", "", "7 ", "abc"}) {
    harness::Type(&form_, "Edit1", text);
    harness::Click(&form_, "Button1");
    EXPECT_EQ(form_.StatusText(), kAddressMessage) << text;
  }
  EXPECT_TRUE(Sent().empty());
}

// ---- Reading --------------------------------------------------------------

TEST_F(Form12Test, ReadAsksAddressThenRateRegisterAndShowsBoth) {
  Open(form_);
  QueueRead(17);
  QueueRead(6);
  const Recorded run = ClickRecorded(form_, "Button2");
  EXPECT_EQ(run.sent, ReadRequests({0x3F, 0x3E}));
  EXPECT_EQ(form_.WorkingCopy().Address, 17);
  EXPECT_EQ(form_.WorkingCopy().BaudCode, 6);
  EXPECT_EQ(Address(), "17");
  EXPECT_EQ(Rate(), 6);
  EXPECT_EQ(run.texts, (std::vector<QString>{Q(" Probíhá čtení konfigurace z modulu (0 %)"),
                                             Q(" Probíhá čtení konfigurace z modulu (50 %)"),
                                             Q(" Probíhá čtení konfigurace z modulu (100 %)"),
                                             Q(" Konfigurace přečtena.")}));
  EXPECT_EQ(run.pumps, (std::set<size_t>{1}));  // between the two registers only
  // The link's own address and rate are not touched.
  EXPECT_EQ(config_.ModuleAddress, kModuleAddress);
  EXPECT_EQ(config_.ModuleSetup.Address, DefaultModuleSetup().Address);
}

TEST_F(Form12Test, RateCodeAboveEightLeavesNoSelectionAndBlocksZapsatAndOk) {
  Open(form_);
  QueueRead(3);
  QueueRead(9);
  harness::Click(&form_, "Button2");
  EXPECT_EQ(Rate(), -1);
  harness::Click(&form_, "Button1");
  EXPECT_EQ(form_.StatusText(), kRateMessage);
  EXPECT_EQ(Sent().size(), 2u);  // the two reads only
  const TModuleSetup before = config_.ModuleSetup;
  harness::Click(&form_, "Button3");
  EXPECT_EQ(form_.StatusText(), kRateMessage);
  EXPECT_EQ(config_.ModuleSetup.Address, before.Address);
  EXPECT_FALSE(form_.isVisible());
}

TEST_F(Form12Test, FailureAtRateRegisterKeepsTheAddressJustRead) {
  config_.ModuleSetup.BaudCode = 2;
  Open(form_);
  QueueRead(33);
  td::QueueStatus(7);
  const Recorded run = ClickRecorded(form_, "Button2");
  EXPECT_EQ(run.sent.size(), 2u);
  EXPECT_EQ(form_.StatusText(), " chyba 7");
  EXPECT_EQ(run.texts.end()[-2], Q(" Probíhá čtení konfigurace z modulu (50 %)"));
  EXPECT_EQ(Address(), "33");
  EXPECT_EQ(Rate(), 2);
}

TEST_F(Form12Test, FailureAtAddressRegisterReadsNothingMore) {
  td::SetErrorText(3, "\xE8\x61s vypr\x9A\x65l");  // Windows-1250 text of the driver
  config_.ModuleSetup.Address = 12;
  Open(form_);
  td::QueueStatus(3);
  harness::Click(&form_, "Button2");
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(form_.StatusText(), Q(" čas vypršel"));
  EXPECT_EQ(Address(), "12");
}

// ---- Writing --------------------------------------------------------------

TEST_F(Form12Test, WriteVerifiesAddressBeforeRateAllToTheLinkAddress) {
  Open(form_);
  harness::Type(&form_, "Edit1", "200");
  SetRate(8);
  QueueVerifiedWrite(200);
  QueueVerifiedWrite(8);
  const Recorded run = ClickRecorded(form_, "Button1");
  EXPECT_EQ(run.sent, (std::vector<Request>{WriteRequest(0x3F, 200), ReadRequest(0x3F), WriteRequest(0x3E, 8),
                                            ReadRequest(0x3E)}));
  EXPECT_EQ(run.texts, (std::vector<QString>{" ", Q(" Probíhá zápis konfigurace do modulu (0 %)"),
                                             Q(" Probíhá zápis konfigurace do modulu (50 %)"),
                                             Q(" Probíhá zápis konfigurace do modulu (100 %)"),
                                             Q(" Konfigurace zapsána.")}));
  EXPECT_EQ(run.pumps, (std::set<size_t>{1, 2, 3}));
  EXPECT_EQ(config_.ModuleAddress, kModuleAddress);
  EXPECT_EQ(config_.BaudRate, 9600u);
}

TEST_F(Form12Test, AddressMismatchStopsBeforeTheRateRegister) {
  Open(form_);
  harness::Type(&form_, "Edit1", "10");
  QueueVerifiedWrite(11);
  harness::Click(&form_, "Button1");
  EXPECT_EQ(Sent(), (std::vector<Request>{WriteRequest(0x3F, 10), ReadRequest(0x3F)}));
  EXPECT_EQ(form_.StatusText(), Q(" Chyba zápisu dat."));
}

TEST_F(Form12Test, FailedRateReadBackLeavesTheAddressWritten) {
  Open(form_);
  QueueVerifiedWrite(1);
  td::QueueStatus(0);
  td::QueueStatus(6);
  const Recorded run = ClickRecorded(form_, "Button1");
  EXPECT_EQ(run.sent.size(), 4u);
  EXPECT_EQ(run.texts.back(), " chyba 6");
  EXPECT_EQ(run.texts.end()[-2], Q(" Probíhá zápis konfigurace do modulu (50 %)"));
}

// ---- Ok -------------------------------------------------------------------

TEST_F(Form12Test, OkStoresTheWholeBlockAndTheNextOpeningShowsIt) {
  config_.ModuleSetup.PulseNumber[2] = 777;
  Open(form_);
  config_.ModuleSetup.PulseNumber[2] = 1;  // the working copy carries the block as shown
  harness::Type(&form_, "Edit1", "$80");
  SetRate(0);
  harness::Click(&form_, "Button3");
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(form_.result(), QDialog::Accepted);
  EXPECT_EQ(config_.ModuleSetup.Address, 0x80);
  EXPECT_EQ(config_.ModuleSetup.BaudCode, 0);
  EXPECT_EQ(config_.ModuleSetup.PulseNumber[2], 777);
  EXPECT_TRUE(Sent().empty());

  TForm12 next;
  Open(next);
  EXPECT_EQ(harness::EditText(&next, "Edit1"), "128");
  EXPECT_EQ(harness::Find<QComboBox>(&next, "ComboBox1")->currentIndex(), 0);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Form12Test, OkWithInvalidAddressClosesAndKeepsTheBlock) {
  Open(form_);
  harness::Type(&form_, "Edit1", "256");
  SetRate(0);
  harness::Click(&form_, "Button3");
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(config_.ModuleSetup.Address, DefaultModuleSetup().Address);
  EXPECT_EQ(config_.ModuleSetup.BaudCode, DefaultModuleSetup().BaudCode);
}

}  // namespace
