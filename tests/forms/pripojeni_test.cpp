// Connection window against the scripted driver libraries: what it reads
// from its controls, what it hands the driver, and what it leaves in the
// record and in its status panel.
#include <gtest/gtest.h>

#include <QComboBox>
#include <algorithm>

#include "FormsHarness.h"
#include "Pripojeni.h"
#include "ScriptedDriver.h"
#include "Txxx847.h"

using harness::Q;

namespace {

const QString kSuccessPrefix = Q("Připojení úspěšně inicializováno. Připojen modul   ");

class Form2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    testdriver::Reset();
    SetConnectionDefaults(&config_);
  }
  void TearDown() override {
    // Leave no library bound for the next test.
    int32_t handle = config_.Initialized ? config_.DriverHandle : 0;
    if (DriverIsBound()) DriverDone(config_.InterfaceType < kInterfaceTypeCount ? config_.InterfaceType : 0, handle);
    testdriver::Reset();
  }

  // The window opened on the record, as the main window opens it.
  void Open() {
    form_.SetConfig(&config_);
    form_.show();
    harness::Settle();
  }
  void Initialise() { harness::Click(&form_, "Button1"); }
  QString Status() { return harness::LabelText(&form_, "Panel1"); }
  QString Edit(const char* name) { return harness::EditText(&form_, name); }
  void Type(const char* name, const QString& text) { ASSERT_TRUE(harness::Type(&form_, name, text)); }
  void Choose(const char* combo, int index) { ASSERT_TRUE(harness::Choose(&form_, combo, index)); }
  int Selected(const char* combo) { return harness::Find<QComboBox>(&form_, combo)->currentIndex(); }

  // The module answers the three identification requests with these texts.
  static void ScriptIdent(const char* part0, const char* part1, const char* version, int32_t count = 4) {
    for (const char* part : {part0, part1, version}) {
      std::vector<uint32_t> words;
      for (int i = 0; i < 4; ++i) words.push_back(static_cast<unsigned char>(part[i]));
      testdriver::QueueData(words, count);
    }
  }
  static size_t Count(const std::string& name) {
    size_t n = 0;
    for (const std::string& call : testdriver::CallNames()) n += call == name ? 1 : 0;
    return n;
  }

  TConnectionConfig config_;
  TForm2 form_;
};

// ---- Showing and switching the interface --------------------------------

TEST_F(Form2Test, ShowFillsControlsFromRecord) {
  config_.ModuleAddress = 17;
  config_.BaudRate = 1000;  // not one of the nine rates: shown as 9600 Bd
  Open();
  EXPECT_EQ(Edit("Edit1"), "17");
  EXPECT_EQ(Selected("ComboBox1"), 4);
  EXPECT_EQ(Selected("ComboBox2"), 0);
  EXPECT_EQ(harness::LabelText(&form_, "Label3"), Q("Číslo portu COMx"));
  EXPECT_EQ(Edit("Edit2"), "1");
  EXPECT_TRUE(harness::Shown(&form_, "Edit2"));
  EXPECT_FALSE(harness::Shown(&form_, "Edit3"));
  EXPECT_FALSE(harness::Shown(&form_, "Label7"));
  EXPECT_EQ(Status(), Q("Připojení modulu dosud neinicializováno"));
}

TEST_F(Form2Test, ShowArrangesParametersByStoredInterface) {
  config_.InterfaceType = itPci847;
  Open();
  EXPECT_EQ(harness::LabelText(&form_, "Label3"), Q("Bázová adresa PCI-847"));
  EXPECT_EQ(Edit("Edit2"), "300h");

  config_.InterfaceType = itDq2847;
  config_.UdpPort = 5001;
  form_.FormShow();
  EXPECT_EQ(harness::LabelText(&form_, "Label3"), Q("IP adresa"));
  EXPECT_EQ(Edit("Edit2"), "127.0.0.1");
  EXPECT_EQ(Edit("Edit3"), "5001");
  EXPECT_EQ(Edit("Edit4"), "200");
  for (const char* name : {"Label6", "Edit3", "Label7", "Edit4"}) EXPECT_TRUE(harness::Shown(&form_, name)) << name;

  for (TInterfaceType type : {TInterfaceType(itUsb2847), TInterfaceType(9)}) {
    config_.InterfaceType = type;
    form_.FormShow();
    for (const char* name : {"Label3", "Edit2", "Label6", "Edit3", "Label7", "Edit4"})
      EXPECT_FALSE(harness::Shown(&form_, name)) << name << " type " << int(type);
  }
  EXPECT_EQ(Selected("ComboBox2"), -1);
}

TEST_F(Form2Test, InterfaceChangeShowsStoredValuesAndDiscardsTyped) {
  config_.ComPort = 3;
  config_.IpAddress = "127.0.0.9";
  Open();
  Type("Edit2", "7");
  Choose("ComboBox2", itDq2847);
  EXPECT_EQ(Edit("Edit2"), "127.0.0.9");
  Type("Edit2", "127.1.1.1");
  Type("Edit3", "99");
  Choose("ComboBox2", itComPort);
  EXPECT_EQ(Edit("Edit2"), "3");
  EXPECT_FALSE(harness::Shown(&form_, "Edit3"));
  Choose("ComboBox2", itDq2847);
  EXPECT_EQ(Edit("Edit2"), "127.0.0.9");
  EXPECT_EQ(Edit("Edit3"), "5000");
  // Choosing only arranges the controls: the record is untouched until a click.
  EXPECT_EQ(config_.InterfaceType, itComPort);
  EXPECT_TRUE(testdriver::Calls().empty());
}

// ---- Numbers typed by the user ------------------------------------------

TEST_F(Form2Test, AddressKeepsLowEightBitsAndNonNumberIsZero) {
  Open();
  ScriptIdent("DQ-7", "184/", "1.02");
  Type("Edit1", "300");
  Initialise();
  EXPECT_EQ(Edit("Edit1"), "44");
  ASSERT_EQ(testdriver::Requests().size(), 3u);
  for (const auto& request : testdriver::Requests()) EXPECT_EQ(request[0], 44u);
  EXPECT_EQ(config_.ModuleAddress, 44);

  ScriptIdent("DQ-7", "184/", "1.02");
  Type("Edit1", "12a");
  Initialise();
  EXPECT_EQ(Edit("Edit1"), "0");
  EXPECT_EQ(testdriver::Requests().back()[0], 0u);
  EXPECT_EQ(config_.ModuleAddress, 0);
}

TEST_F(Form2Test, ComPortTextRule) {
  Open();
  Type("Edit2", "COM2");
  Initialise();
  EXPECT_EQ(Edit("Edit2"), "1");
  EXPECT_EQ(config_.ComPort, 1);
  EXPECT_EQ(testdriver::LastInit().prefix, "TCOM847");
  EXPECT_EQ(testdriver::LastInit().portOrBase, 1);

  Type("Edit2", "$10");
  Initialise();
  EXPECT_EQ(Edit("Edit2"), "16");
  EXPECT_EQ(testdriver::LastInit().portOrBase, 16);

  // The driver gets the low 16 bits, the record keeps the low 8.
  Type("Edit2", "70000");
  Initialise();
  EXPECT_EQ(Edit("Edit2"), "4464");
  EXPECT_EQ(testdriver::LastInit().portOrBase, 4464);
  EXPECT_EQ(config_.ComPort, 4464 & 0xFF);
}

TEST_F(Form2Test, IsaBaseTexts) {
  config_.InterfaceType = itPci847;
  Open();
  const struct {
    const char* typed;
    uint16_t base;
    const char* shown;
  } cases[] = {{"2A0h", 0x2A0, "2A0h"}, {"2a0h", 0x2A0, "2A0h"}, {"0FFh", 0xFF, "0FFh"}, {"300", 0x300, "300h"},
               {"12345", 0x300, "300h"}, {"", 0x300, "300h"},     {"xyzh", 768, "300h"},   {"-12h", 768, "300h"}};
  for (const auto& c : cases) {
    Type("Edit2", Q(c.typed));
    Initialise();
    EXPECT_EQ(Edit("Edit2"), Q(c.shown)) << c.typed;
    EXPECT_EQ(config_.IsaBaseAddress, c.base) << c.typed;
    EXPECT_EQ(testdriver::LastInit().prefix, "TPCI847");
    EXPECT_EQ(testdriver::LastInit().portOrBase, c.base) << c.typed;
  }
}

TEST_F(Form2Test, UdpParametersRejectedOutsideRangeLoadNothing) {
  config_.InterfaceType = itDq2847;
  Open();
  const struct {
    const char* port;
    const char* timeout;
    const char* message;
  } cases[] = {{"65536", "200", "Neplatný UDP port"},
               {"-1", "200", "Neplatný UDP port"},
               {"50x", "200", "Neplatný UDP port"},
               {"5000", "65536", "Neplatný UDP timeout"},
               {"5000", "", "Neplatný UDP timeout"}};
  for (const auto& c : cases) {
    Type("Edit3", Q(c.port));
    Type("Edit4", Q(c.timeout));
    Initialise();
    EXPECT_EQ(Status(), Q(c.message)) << c.port << " / " << c.timeout;
  }
  Type("Edit2", "");
  Initialise();
  EXPECT_EQ(Status(), Q("Neplatná IP adresa"));
  EXPECT_EQ(Count("TDQ2847_Init"), 0u);
  EXPECT_FALSE(config_.Initialized);
  EXPECT_EQ(config_.StatusText, Cp1250FromUtf8("Připojení modulu dosud neinicializováno"));
}

TEST_F(Form2Test, UdpLimitsAcceptedAndHandedToTheLibrary) {
  config_.InterfaceType = itDq2847;
  Open();
  Type("Edit2", "127.0.0.2");
  Type("Edit3", "65535");
  Type("Edit4", "0");
  Initialise();
  const testdriver::InitRecord init = testdriver::LastInit();
  EXPECT_EQ(init.prefix, "TDQ2847");
  EXPECT_EQ(init.ipText, "127.0.0.2");
  EXPECT_EQ(init.block[1], 65535);
  EXPECT_EQ(init.block[2], 0);
  for (int i = 3; i < 16; ++i) EXPECT_EQ(init.block[static_cast<size_t>(i)], 0) << i;
  EXPECT_EQ(config_.IpAddress, "127.0.0.2");
  EXPECT_EQ(config_.UdpPort, 65535u);
  EXPECT_EQ(config_.UdpTimeout, 0u);
  EXPECT_TRUE(config_.Initialized);
}

TEST_F(Form2Test, ParametersReachTheRecordEvenWhenTheAttemptFails) {
  config_.InterfaceType = itDq2847;
  Open();
  Type("Edit2", "127.0.0.7");
  Type("Edit3", "70000");
  Initialise();
  EXPECT_EQ(config_.IpAddress, "127.0.0.7");
  EXPECT_EQ(config_.UdpPort, 5000u);  // rejected value not taken

  Choose("ComboBox2", itComPort);
  Type("Edit2", "4");
  testdriver::SetInitResult(7);
  Initialise();
  EXPECT_EQ(config_.InterfaceType, itComPort);
  EXPECT_EQ(config_.ComPort, 4);
}

TEST_F(Form2Test, NoInterfaceSelected) {
  config_.InterfaceType = 9;
  Open();
  Initialise();
  EXPECT_EQ(Status(), Q("Neznámý typ rozhraní"));
  EXPECT_TRUE(testdriver::Calls().empty());
}

// ---- The initialisation sequence ----------------------------------------

TEST_F(Form2Test, SuccessIdentifiesTheModule) {
  config_.ModuleAddress = 5;
  Open();
  Choose("ComboBox1", 8);
  ScriptIdent("DQ-7", "184/", "1.02", 5);
  Initialise();

  EXPECT_EQ(Status(), kSuccessPrefix + Q("DQ-7184/ v.1.02"));
  EXPECT_EQ(config_.ModuleIdent, "DQ-7184/ v.1.02");
  EXPECT_TRUE(config_.Initialized);
  EXPECT_EQ(config_.DriverHandle, 1);
  EXPECT_EQ(config_.ModuleAddress, 5);
  EXPECT_EQ(config_.BaudRate, 115200u);
  EXPECT_EQ(config_.StatusText, Cp1250FromUtf8("V pořádku"));

  const auto calls = testdriver::Calls();
  auto setConfig = std::find_if(calls.begin(), calls.end(), [](const auto& c) { return c.name == "TCOM847_SetConfig"; });
  ASSERT_NE(setConfig, calls.end());
  EXPECT_EQ(setConfig->args, (std::vector<int64_t>{1, 115200, 5, 2}));

  // Command 200, sub-codes 0-2; each count byte travels on as b3.
  const auto requests = testdriver::Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(requests[i][1], 200u);
    EXPECT_EQ(requests[i][2], i);
    EXPECT_EQ(requests[i][3], i == 0 ? 0u : 5u);
    for (int w = 4; w < 8; ++w) EXPECT_EQ(requests[i][static_cast<size_t>(w)], 0u);
  }
}

TEST_F(Form2Test, ZeroByteOfIdentificationIsKept) {
  Open();
  ScriptIdent("DQ-7", "184\0", "1.02");
  Initialise();
  EXPECT_EQ(config_.ModuleIdent, std::string("DQ-7184\0 v.1.02", 15));
}

TEST_F(Form2Test, SecondInitialisationClosesTheFirstLink) {
  Open();
  Initialise();
  ASSERT_TRUE(config_.Initialized);
  testdriver::SetInitResult(0, 2);
  Initialise();
  const auto names = testdriver::CallNames();
  auto done = std::find(names.begin(), names.end(), "TCOM847_Done");
  ASSERT_NE(done, names.end());
  EXPECT_EQ(std::count(done, names.end(), "TCOM847_Init"), 1);  // the second Init comes after Done
  EXPECT_EQ(testdriver::LiveHandles(), 1);
  EXPECT_EQ(config_.DriverHandle, 2);
  EXPECT_TRUE(config_.Initialized);
}

TEST_F(Form2Test, ClickEndingEarlyStillClosesTheFirstLink) {
  Open();
  Initialise();
  ASSERT_TRUE(config_.Initialized);
  Choose("ComboBox2", itDq2847);
  Type("Edit2", "");
  Initialise();
  EXPECT_EQ(Status(), Q("Neplatná IP adresa"));
  EXPECT_EQ(Count("TCOM847_Done"), 1u);
  EXPECT_EQ(testdriver::LiveHandles(), 0);
  EXPECT_FALSE(config_.Initialized);
  EXPECT_EQ(config_.DriverHandle, 0);
}

// ---- Failures -------------------------------------------------------------

TEST_F(Form2Test, InitFailureShowsPrefixedText) {
  config_.ModuleAddress = 9;
  Open();
  Type("Edit1", "3");
  testdriver::SetInitResult(7);
  Initialise();
  EXPECT_EQ(Status(), Q("Chyba inicializace připojení - chyba 7"));
  EXPECT_FALSE(config_.Initialized);
  EXPECT_EQ(config_.ModuleAddress, 9);
  EXPECT_EQ(Count("TCOM847_SetConfig"), 0u);
}

TEST_F(Form2Test, LoaderCodeTextNamesTheLibrary) {
  config_.InterfaceType = itDq2847;
  Open();
  testdriver::SetInitResult(kDriverLoadFailed + itDq2847);
  Initialise();
  EXPECT_EQ(Status(), Q("Chyba inicializace připojení - chyba inicializace knihovny TDQ2847.DLL"));
  testdriver::SetInitResult(kDriverBadLibrary + itDq2847);
  Initialise();
  EXPECT_EQ(Status(), Q("Chyba inicializace připojení - chybná knihovna TDQ2847.DLL"));
  EXPECT_FALSE(config_.Initialized);
}

TEST_F(Form2Test, SetConfigFailureClosesTheNewLink) {
  Open();
  testdriver::SetSetConfigResult(12);
  testdriver::SetErrorText(12, Cp1250FromUtf8("neplatný parametr"));
  Initialise();
  EXPECT_EQ(Status(), Q("Chyba inicializace připojení - neplatný parametr"));
  EXPECT_EQ(Count("TCOM847_Done"), 1u);
  EXPECT_EQ(testdriver::LiveHandles(), 0);
  EXPECT_FALSE(config_.Initialized);
  EXPECT_TRUE(testdriver::Requests().empty());
}

TEST_F(Form2Test, IdentificationFailureShowsStatusTextAloneAndClosesLink) {
  config_.ModuleAddress = 9;
  Open();
  Type("Edit1", "3");
  testdriver::QueueData({'D', 'Q', '-', '7'});
  testdriver::QueueStatus(5);
  testdriver::SetErrorText(5, Cp1250FromUtf8("modul neodpovídá"));
  Initialise();
  EXPECT_EQ(Status(), Q("modul neodpovídá"));
  EXPECT_EQ(testdriver::Requests().size(), 2u);
  EXPECT_EQ(Count("TCOM847_Done"), 1u);
  EXPECT_EQ(testdriver::LiveHandles(), 0);
  EXPECT_FALSE(config_.Initialized);
  EXPECT_EQ(config_.DriverHandle, 0);
  EXPECT_EQ(config_.ModuleAddress, 9);
  EXPECT_TRUE(config_.ModuleIdent.empty());
  EXPECT_EQ(config_.StatusText, Cp1250FromUtf8("Připojení modulu dosud neinicializováno"));
}

TEST_F(Form2Test, WithoutRecordNothingHappens) {
  form_.show();
  harness::Settle();
  Initialise();
  form_.ComboBox2Change();
  EXPECT_TRUE(testdriver::Calls().empty());
  EXPECT_TRUE(Status().isEmpty());
}

}  // namespace
