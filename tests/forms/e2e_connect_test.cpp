// Connecting end to end: the main window opens the connection window, which
// loads the real driver library and identifies a simulated module running
// in this process, over UDP on 127.0.0.1 and over a pseudo-terminal offered
// as a COM port through a port map of the test's own.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "FormsHarness.h"
#include "Hlavni.h"
#include "InProcessSim.h"
#include "sim/simulator/Simulator.h"
#include "Txxx847.h"

using harness::Q;

namespace {

constexpr int kComPort = 9;
constexpr uint8_t kSimAddress = 3;

class ConnectE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    QApplication::setQuitOnLastWindowClosed(false);
    // The settings file beside the port map, in which the COM library looks
    // its port up and the simulator enters its pseudo-terminal as COM9.
    settingsPath_ = sim_.Folder().File("W_dq7184.ini");

    const std::string error = sim_.Start(dqtest::OneModule(kSimAddress, kComPort));
    ASSERT_TRUE(error.empty()) << error;
  }
  void TearDown() override {
    // A library whose Init failed stays loaded; unload it for the next test.
    int32_t handle = 0;
    if (DriverIsBound()) DriverDone(itComPort, handle);
    sim_.Stop();
  }

  // Opens "Připojení" from the menu, fills the window with `fill`, clicks
  // "Inicializace připojení", keeps the status text and leaves with "Cancel".
  QString ConnectThroughMenu(TForm1& form, const std::function<void(QWidget*)>& fill) {
    QString status;
    harness::OnNextModal([&](QWidget* dialog) {
      fill(dialog);
      harness::Click(dialog, "Button1");
      status = harness::LabelText(dialog, "Panel1");
      harness::Click(dialog, "Button2");
    });
    form.findChild<QAction*>("Pipojen1")->trigger();
    return status;
  }
  static void FillLan(QWidget* dialog, int udpPort, const char* address) {
    harness::Choose(dialog, "ComboBox2", itDq2847);
    harness::Type(dialog, "Edit2", "127.0.0.1");
    harness::Type(dialog, "Edit3", QString::number(udpPort));
    harness::Type(dialog, "Edit4", "100");
    harness::Type(dialog, "Edit1", Q(address));
  }
  std::string ReadSettings() {
    std::ifstream in(settingsPath_, std::ios::binary);
    return Utf8FromCp1250(std::string(std::istreambuf_iterator<char>(in), {}));
  }

  dqtest::InProcessSim sim_;
  std::string settingsPath_;
};

TEST_F(ConnectE2E, LanConverterOverUdpIdentifiesModuleInStatusBar) {
  TForm1 form(settingsPath_);
  form.show();
  const int port = sim_->UdpPort();
  const QString status = ConnectThroughMenu(form, [port](QWidget* d) { FillLan(d, port, "3"); });

  EXPECT_EQ(status, Q("Připojení úspěšně inicializováno. Připojen modul   DQ7184/9 v.1.03"));
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul  DQ7184/9 v.1.03"));
  EXPECT_EQ(harness::StatusPanel(&form, 1), Q(" Adresa  3"));
  EXPECT_EQ(harness::StatusPanel(&form, 2), Q(" Rychlost  9600Bd"));
  ASSERT_NE(form.Config(), nullptr);
  EXPECT_TRUE(form.Config()->Initialized);

  // Exit: settings written for the LAN converter, the driver closed.
  form.close();
  EXPECT_FALSE(DriverIsBound());
  const std::string file = ReadSettings();
  EXPECT_NE(file.find("Rozhraní=DQ-2847"), std::string::npos) << file;
  EXPECT_NE(file.find("UDP port=" + std::to_string(port)), std::string::npos) << file;
  EXPECT_NE(file.find("Adresa=3"), std::string::npos) << file;
}

TEST_F(ConnectE2E, ComPortMappedToPseudoTerminal) {
  TForm1 form(settingsPath_);
  form.show();
  const QString status = ConnectThroughMenu(form, [](QWidget* d) {
    harness::Choose(d, "ComboBox2", itComPort);
    harness::Type(d, "Edit2", QString::number(kComPort));
    harness::Type(d, "Edit1", "3");
    harness::Choose(d, "ComboBox1", 4);
  });
  EXPECT_EQ(status, Q("Připojení úspěšně inicializováno. Připojen modul   DQ7184/9 v.1.03"));
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul  DQ7184/9 v.1.03"));
  EXPECT_EQ(harness::StatusPanel(&form, 2), Q(" Rychlost  9600Bd"));
  form.close();
  EXPECT_FALSE(DriverIsBound());
}

TEST_F(ConnectE2E, NoModuleAtAddressLeavesLinkClosed) {
  TForm1 form(settingsPath_);
  const int port = sim_->UdpPort();
  const QString status = ConnectThroughMenu(form, [port](QWidget* d) { FillLan(d, port, "4"); });
  // The library's own text for the missing reply, without a prefix.
  EXPECT_EQ(status, Q("Modul neodpovídá (vypršel čas pro odpověď)"));
  EXPECT_FALSE(form.Config()->Initialized);
  EXPECT_FALSE(DriverIsBound());
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul  "));
  EXPECT_EQ(harness::StatusPanel(&form, 1), Q(" Adresa  0"));
}

TEST_F(ConnectE2E, UnmappedComPortFailsInitialisationWithLibraryText) {
  TForm1 form(settingsPath_);
  // COM port 200: not in the map, and no /dev/ttyS199 on a test machine.
  const QString status = ConnectThroughMenu(form, [](QWidget* d) {
    harness::Choose(d, "ComboBox2", itComPort);
    harness::Type(d, "Edit2", "200");
  });
  EXPECT_EQ(status, Q("Chyba inicializace připojení - Port neexistuje"));
  EXPECT_FALSE(form.Config()->Initialized);
}

}  // namespace
