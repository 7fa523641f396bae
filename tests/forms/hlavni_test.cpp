// Main window against the scripted driver libraries: its menu, the record it
// owns, the status bar after the connection window, and the shut-down order.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "FormsHarness.h"
#include "Hlavni.h"
#include "MainWindowTest.h"
#include "Pripojeni.h"
#include "ScriptedDriver.h"
#include "Txxx847.h"

using harness::Q;

namespace {

// Records the shut-down steps instead of letting a message box block.
class WatchedForm1 : public TForm1 {
 public:
  using TForm1::TForm1;
  std::vector<QString> messages;
  int driverHandlesWhenWritten = -1;

 protected:
  void WriteSettingsFile() override {
    TForm1::WriteSettingsFile();
    driverHandlesWhenWritten = testdriver::LiveHandles();
    testdriver::Mark("settings written");
  }
  void ShowSettingsWriteError(const QString& message) override { messages.push_back(message); }
};

TConnectionConfig* NoRecord() { return nullptr; }

class Form1Test : public harness::MainWindowTest {
 protected:
  void WriteFile(const char* utf8) {
    std::ofstream(path_, std::ios::binary) << Cp1250FromUtf8(utf8);
  }
  std::string ReadFile() {
    std::ifstream in(path_, std::ios::binary);
    return Utf8FromCp1250(std::string(std::istreambuf_iterator<char>(in), {}));
  }
  bool FileExists() { return std::ifstream(path_).good(); }

  // Opens the connection window from the menu and runs `inDialog` in it.
  static void Connect(TForm1& form, std::function<void(QWidget*)> inDialog) {
    harness::OnNextModal([inDialog](QWidget* dialog) {
      inDialog(dialog);
      harness::Click(dialog, "Button2");
    });
    form.findChild<QAction*>("Pipojen1")->trigger();
  }
  static void ConnectSuccessfully(TForm1& form) {
    for (const char* part : {"DQ-7", "184/", "1.02"})
      testdriver::QueueData({uint32_t(part[0]), uint32_t(part[1]), uint32_t(part[2]), uint32_t(part[3])});
    Connect(form, [](QWidget* dialog) { harness::Click(dialog, "Button1"); });
  }

};

// ---- Window and menu -------------------------------------------------------

TEST_F(Form1Test, CaptionMenuTreeAndHiddenItems) {
  TForm1 form(path_);
  EXPECT_EQ(form.windowTitle(), Q(" DQ-7184/9 (v.1.02) -  nastavení modulu"));

  QStringList top;
  for (QAction* action : form.menuBar()->actions()) top << action->objectName();
  EXPECT_EQ(top, QStringList({"Pipojen1", "Nastaven1", "Okamithodnoty1", "Konec2"}));

  const struct {
    const char* name;
    const char* caption;
    bool visible;
  } items[] = {{"Pipojen1", "&Připojení", true},
               {"Nastaven1", "&Nastavení", true},
               {"AdresaRychlost1", "Adresa, rychlost", true},
               {"NastavAIN1", "Čítače DQ-618", false},
               {"HodinovobvodRTC1", "Hodinový obvod RTC", false},
               {"NastavDIO1", "Digitální vstupy/výstupy", true},
               {"Okamithodnoty1", "&Okamžité hodnoty", true},
               {"OkamAIN2", "Čítače", true},
               {"OkamDIN2", "Digitální vstupy", true},
               {"OkamDOUT1", "Digitální výstupy", false},
               {"Statusregistr1", "Status registr", true},
               {"Konec2", "&Konec", true}};
  for (const auto& item : items) {
    auto* action = form.findChild<QAction*>(item.name);
    ASSERT_NE(action, nullptr) << item.name;
    EXPECT_EQ(action->text(), Q(item.caption)) << item.name;
    EXPECT_EQ(action->isVisible(), item.visible) << item.name;
  }
  QStringList settings, live;
  for (QAction* a : form.findChild<QMenu*>("Nastaven1")->actions()) settings << a->objectName();
  for (QAction* a : form.findChild<QMenu*>("Okamithodnoty1")->actions()) live << a->objectName();
  EXPECT_EQ(settings, QStringList({"AdresaRychlost1", "NastavAIN1", "HodinovobvodRTC1", "NastavDIO1"}));
  EXPECT_EQ(live, QStringList({"OkamAIN2", "OkamDIN2", "OkamDOUT1", "Statusregistr1"}));
}

// ---- Start-up ----------------------------------------------------------------

TEST_F(Form1Test, FreshStartKeepsInitialPanelsAndDefaults) {
  TForm1 form(path_);
  form.show();
  harness::Settle();
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul"));
  EXPECT_EQ(harness::StatusPanel(&form, 1), Q(" Adresa"));
  EXPECT_EQ(harness::StatusPanel(&form, 2), Q(" Rychlost"));
  EXPECT_EQ(harness::StatusPanel(&form, 3), QString());
  ASSERT_NE(form.Config(), nullptr);
  EXPECT_EQ(form.Config()->BaudRate, 9600u);
  EXPECT_FALSE(form.Config()->Initialized);
  EXPECT_FALSE(FileExists());  // start-up only reads
}

TEST_F(Form1Test, StartUpReadsTheSettingsFile) {
  WriteFile("[Připojení]\r\nRozhraní=DQ-2847\r\nAdresa=300\r\nRychlost=19200\r\n[DQ-2847]\r\nUDP port=5005\r\n");
  TForm1 form(path_);
  ASSERT_NE(form.Config(), nullptr);
  EXPECT_EQ(form.Config()->InterfaceType, itDq2847);
  EXPECT_EQ(form.Config()->ModuleAddress, 44);
  EXPECT_EQ(form.Config()->BaudRate, 19200u);
  EXPECT_EQ(form.Config()->UdpPort, 5005u);
  EXPECT_EQ(harness::StatusPanel(&form, 1), Q(" Adresa"));
}

TEST_F(Form1Test, WithoutRecordOnlyExitWorks) {
  TForm1 form(path_, &NoRecord);
  EXPECT_EQ(harness::StatusPanel(&form, 3), Q(" Nelze vytvořit datové struktury programu"));
  form.Pipojen1Click();  // opens nothing: no modal loop to leave
  EXPECT_EQ(form.findChild<TForm2*>(), nullptr);
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul"));
  form.show();
  form.findChild<QAction*>("Konec2")->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(FileExists());
  EXPECT_TRUE(testdriver::Calls().empty());
}

// ---- Connection window and status bar ---------------------------------------

TEST_F(Form1Test, CancelOnFreshStartShowsRecordInPanels) {
  TForm1 form(path_);
  Connect(form, [](QWidget*) {});
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul  "));
  EXPECT_EQ(harness::StatusPanel(&form, 1), Q(" Adresa  0"));
  EXPECT_EQ(harness::StatusPanel(&form, 2), Q(" Rychlost  9600Bd"));
  EXPECT_EQ(harness::StatusPanel(&form, 3), QString());
  EXPECT_EQ(form.findChild<TForm2*>(), nullptr);  // destroyed after it closed
}

TEST_F(Form1Test, SuccessfulConnectionShowsModuleAddressAndRate) {
  TForm1 form(path_);
  for (const char* part : {"DQ-7", "184/", "1.02"})
    testdriver::QueueData({uint32_t(part[0]), uint32_t(part[1]), uint32_t(part[2]), uint32_t(part[3])});
  Connect(form, [](QWidget* dialog) {
    harness::Type(dialog, "Edit1", "12");
    harness::Choose(dialog, "ComboBox1", 5);
    harness::Click(dialog, "Button1");
  });
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul  DQ-7184/ v.1.02"));
  EXPECT_EQ(harness::StatusPanel(&form, 1), Q(" Adresa  12"));
  EXPECT_EQ(harness::StatusPanel(&form, 2), Q(" Rychlost  19200Bd"));
  EXPECT_TRUE(form.Config()->Initialized);
}

TEST_F(Form1Test, FailedConnectionShowsTheValuesTheRecordHolds) {
  WriteFile("[Připojení]\r\nRozhraní=COMx\r\nAdresa=7\r\nRychlost=1000\r\n");
  TForm1 form(path_);
  testdriver::SetInitResult(3);
  Connect(form, [](QWidget* dialog) {
    harness::Type(dialog, "Edit1", "99");
    harness::Click(dialog, "Button1");
  });
  EXPECT_EQ(harness::StatusPanel(&form, 0), Q(" Modul  "));
  EXPECT_EQ(harness::StatusPanel(&form, 1), Q(" Adresa  7"));
  EXPECT_EQ(harness::StatusPanel(&form, 2), Q(" Rychlost  1000Bd"));
}

TEST_F(Form1Test, EachOpeningIsAFreshWindow) {
  TForm1 form(path_);
  Connect(form, [](QWidget* dialog) { harness::Type(dialog, "Edit1", "77"); });
  QString shown;
  Connect(form, [&shown](QWidget* dialog) { shown = harness::EditText(dialog, "Edit1"); });
  EXPECT_EQ(shown, "0");
}

TEST_F(Form1Test, EveryMenuItemOpensAFreshDialogOfItsWindow) {
  TForm1 form(path_);
  const struct {
    const char* item;
    const char* window;
  } items[] = {{"AdresaRychlost1", "TForm12"}, {"NastavAIN1", "TForm5"}, {"HodinovobvodRTC1", "TForm3"},
               {"NastavDIO1", "TForm14"},      {"OkamAIN2", "TForm6"},   {"OkamDIN2", "TForm11"},
               {"OkamDOUT1", "TForm9"},        {"Statusregistr1", "TForm15"}};
  for (const auto& item : items) {
    for (int opening = 0; opening < 2; ++opening) {
      QString opened;
      harness::OnNextModal([&opened](QWidget* dialog) {
        opened = QString::fromLatin1(dialog->metaObject()->className());
        static_cast<QDialog*>(dialog)->reject();
      });
      // Hidden items are not reachable from the menu, but their handlers work.
      form.findChild<QAction*>(item.item)->trigger();
      EXPECT_EQ(opened, QString::fromLatin1(item.window)) << item.item;
      EXPECT_EQ(form.findChild<QDialog*>(), nullptr) << item.item;  // destroyed after it closed
    }
  }
  EXPECT_TRUE(testdriver::Calls().empty());  // no link: no window talked to a driver
}

TEST_F(Form1Test, WithoutRecordNoMenuItemOpensADialog) {
  TForm1 form(path_, &NoRecord);
  for (const char* item : {"AdresaRychlost1", "NastavAIN1", "HodinovobvodRTC1", "NastavDIO1", "OkamAIN2", "OkamDIN2",
                           "OkamDOUT1", "Statusregistr1"}) {
    form.findChild<QAction*>(item)->trigger();  // would block in a modal loop if a dialog opened
    EXPECT_EQ(form.findChild<QDialog*>(), nullptr) << item;
  }
}

// ---- Shut-down ---------------------------------------------------------------

TEST_F(Form1Test, ExitWithoutLinkWritesSettingsAndClosesNoDriver) {
  WatchedForm1 form(path_);
  form.show();
  form.findChild<QAction*>("Konec2")->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.Config(), nullptr);
  const std::string file = ReadFile();
  EXPECT_NE(file.find("Rozhraní=COMx"), std::string::npos) << file;
  EXPECT_NE(file.find("Rychlost=9600"), std::string::npos) << file;
  EXPECT_EQ(testdriver::CallNames(), std::vector<std::string>({"settings written"}));
}

TEST_F(Form1Test, ExitWithLinkWritesSettingsThenClosesDriver) {
  WatchedForm1 form(path_);
  form.show();
  ConnectSuccessfully(form);
  ASSERT_TRUE(form.Config()->Initialized);
  form.close();
  const auto names = testdriver::CallNames();
  auto written = std::find(names.begin(), names.end(), "settings written");
  ASSERT_NE(written, names.end());
  EXPECT_EQ(std::find(names.begin(), written, "TCOM847_Done"), written);
  EXPECT_NE(std::find(written, names.end(), "TCOM847_Done"), names.end());
  EXPECT_EQ(form.driverHandlesWhenWritten, 1);
  EXPECT_EQ(testdriver::LiveHandles(), 0);
  EXPECT_EQ(form.Config(), nullptr);
  EXPECT_NE(ReadFile().find("Adresa=0"), std::string::npos);
}

TEST_F(Form1Test, SettingsWriteFailureNamesFileAndStillClosesDriver) {
  // A settings path below a regular file cannot be written, not even by root.
  WriteFile("not a directory");
  const std::string badPath = path_ + "/W_dq7184.ini";
  WatchedForm1 form(badPath);
  form.show();
  ConnectSuccessfully(form);
  ASSERT_TRUE(form.Config()->Initialized);
  form.close();
  ASSERT_EQ(form.messages.size(), 1u);
  EXPECT_TRUE(form.messages[0].contains(QString::fromStdString(badPath))) << form.messages[0].toStdString();
  EXPECT_EQ(testdriver::LiveHandles(), 0);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.Config(), nullptr);
}

TEST_F(Form1Test, SettingsWriteFailureMessageBoxIsShownOnce) {
  WriteFile("not a directory");
  const std::string badPath = path_ + "/W_dq7184.ini";
  TForm1 form(badPath);
  form.show();
  QString text;
  int boxes = 0;
  harness::OnNextModal([&](QWidget* dialog) {
    auto* box = qobject_cast<QMessageBox*>(dialog);
    ASSERT_NE(box, nullptr);
    text = box->text();
    ++boxes;
    box->accept();
  });
  form.close();
  EXPECT_EQ(boxes, 1);
  EXPECT_TRUE(text.contains(QString::fromStdString(badPath))) << text.toStdString();
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
