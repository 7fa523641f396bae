// Module clock window against the scripted driver.
#include "RTC.h"

#include <QPushButton>

#include "PcClock.h"
#include "test_livewindow_fixture.h"

using namespace livetest;
using harness::LabelText;
using harness::StatusPanel;

class RTCTest : public LiveWindowTest {
 protected:
  void SetUp() override {
    LiveWindowTest::SetUp();
    SetCurrentYearSource([]() { return 2026; });
    window_.SetConfig(&config_);
    Freeze(&window_);
    Open(window_);
  }
  void TearDown() override {
    SetCurrentYearSource({});
    SetPcClockSource({});
    LiveWindowTest::TearDown();
  }
  std::vector<uint32_t> Subcodes() {
    std::vector<uint32_t> subs;
    for (const Request& r : Sent()) subs.push_back(r[2]);
    return subs;
  }
  // The six value labels in the order Label4 .. Label9.
  std::vector<QString> Clock() {
    std::vector<QString> texts;
    for (int n = 4; n <= 9; ++n) texts.push_back(LabelText(&window_, QStringLiteral("Label%1").arg(n)));
    return texts;
  }
  TForm3 window_;
};

TEST(RTCWindow, CreatedWithCaptionsAndTimerRunning) {
  TForm3 window;
  EXPECT_EQ(window.windowTitle(), Q("Nastavení hodinového obvodu RTC"));
  EXPECT_EQ(LabelText(&window, "Label1"), Q("Začátek výpadku napájení"));
  EXPECT_EQ(LabelText(&window, "Label2"), Q("Konec výpadku napájení"));
  EXPECT_EQ(LabelText(&window, "Label3"), Q("Čas a datum modulu"));
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button1")->text(), Q("Nastavit čas"));
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button2")->text(), "Cancel");
  EXPECT_EQ(TimerOf(&window)->interval(), 200);
  EXPECT_TRUE(TimerOf(&window)->isActive());
  for (const char* name : {"Label4", "Label7", "Label5", "Label8"})
    EXPECT_EQ(harness::Find<QLabel>(&window, name)->parentWidget()->objectName(), "Panel1") << name;
  for (const char* name : {"Label6", "Label9"})
    EXPECT_EQ(harness::Find<QLabel>(&window, name)->parentWidget()->objectName(), "Panel2") << name;
}

TEST_F(RTCTest, FirstPollReadsPowerFailureThenOnlyTheClock) {
  QueueBytes(5, 7, 13, 0);    // 3: failure start time
  QueueBytes(29, 2, 0, 0);    // 4: failure start date
  QueueBytes(0, 0, 0, 0);     // 5: failure end time
  QueueBytes(1, 1, 3, 0);     // 6: failure end date
  QueueBytes(59, 59, 23, 0);  // 1: module time
  QueueBytes(31, 12, 2, 0);   // 2: module date
  window_.Timer1Timer();
  EXPECT_EQ(Subcodes(), (std::vector<uint32_t>{3, 4, 5, 6, 1, 2}));
  for (const Request& r : Sent()) EXPECT_EQ(r, Req(100, static_cast<uint8_t>(r[2])));
  EXPECT_EQ(Clock(), (std::vector<QString>{"13:07:05", "0:00:00", "23:59:59", "29.2.2024", "1.1.2027", "31.12.2026"}));
  EXPECT_TRUE(window_.PowerFailureRead());
  EXPECT_EQ(StatusPanel(&window_), " OK");

  window_.Timer1Timer();
  EXPECT_EQ(Subcodes(), (std::vector<uint32_t>{3, 4, 5, 6, 1, 2, 1, 2}));
}

TEST_F(RTCTest, DateYearComesFromThePcYearsCycle) {
  for (int year : {2024, 2025, 2026, 2027}) {
    SetCurrentYearSource([year]() { return year; });
    window_.FormShow();
    for (int i = 0; i < 5; ++i) QueueBytes(0, 0, 0, 0);
    QueueBytes(29, 2, 0, 0);
    window_.Timer1Timer();
    EXPECT_EQ(LabelText(&window_, "Label9"), "29.2.2024") << year;
  }
}

TEST_F(RTCTest, FailedPowerFailureEndDateIsRetriedFromTheStartNextPoll) {
  window_.Timer1Timer();  // everything 0
  for (QLabel* label : window_.findChildren<QLabel*>()) {
    const int n = label->objectName().mid(5).toInt();
    if (label->objectName().startsWith("Label") && n >= 4 && n <= 9) label->setText("old");
  }
  window_.FormShow();
  QueueBytes(1, 2, 3, 0);
  QueueBytes(4, 5, 2, 0);
  QueueBytes(6, 7, 8, 0);
  td::QueueStatus(11);
  window_.Timer1Timer();
  // Label4, Label7, Label5 new; Label8, Label6, Label9 as before (FormShow set "0").
  EXPECT_EQ(Clock(), (std::vector<QString>{"3:02:01", "8:07:06", "0", "4.5.2026", "0", "0"}));
  EXPECT_EQ(StatusPanel(&window_), " chyba 11");
  EXPECT_FALSE(window_.PowerFailureRead());

  window_.Timer1Timer();
  const std::vector<uint32_t> subs = Subcodes();
  EXPECT_EQ(std::vector<uint32_t>(subs.end() - 6, subs.end()), (std::vector<uint32_t>{3, 4, 5, 6, 1, 2}));
  EXPECT_TRUE(window_.PowerFailureRead());
}

TEST_F(RTCTest, FailedClockReadEndsPollKeepingLaterLabel) {
  window_.Timer1Timer();
  QueueBytes(10, 20, 12, 0);
  window_.Timer1Timer();
  ASSERT_EQ(LabelText(&window_, "Label6"), "12:20:10");
  td::QueueStatus(7);
  window_.Timer1Timer();
  EXPECT_EQ(StatusPanel(&window_), " chyba 7");
  EXPECT_EQ(LabelText(&window_, "Label6"), "12:20:10");
  EXPECT_EQ(Sent().back()[2], 1u);  // the date was not read
}

TEST_F(RTCTest, SetClockWritesTimeThenDateFromOneReading) {
  int readings = 0;
  bool timerRunningWhileSetting = true;
  SetPcClockSource([&]() {
    ++readings;
    timerRunningWhileSetting = TimerOf(&window_)->isActive();
    return TPcDateTime{2026, 12, 7, 6, 30, 15};
  });
  harness::Click(&window_, "Button1");
  EXPECT_EQ(readings, 1);
  EXPECT_FALSE(timerRunningWhileSetting);
  EXPECT_EQ(Sent(), (std::vector<Request>{Req(101, 1, 0, 15, 30, 6, 0), Req(101, 2, 0, 7, 12, 2, 0)}));
  EXPECT_EQ(StatusPanel(&window_), Q(" Čas nastaven"));
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(RTCTest, FailedTimeWriteSkipsDateAndPollingResumes) {
  SetPcClockSource([]() { return TPcDateTime{2026, 12, 7, 6, 30, 15}; });
  td::QueueStatus(13);
  harness::Click(&window_, "Button1");
  EXPECT_EQ(Sent(), (std::vector<Request>{Req(101, 1, 0, 15, 30, 6, 0)}));
  EXPECT_EQ(StatusPanel(&window_), " chyba 13");
  EXPECT_TRUE(TimerOf(&window_)->isActive());

  td::QueueStatus(0);
  td::QueueStatus(14);
  harness::Click(&window_, "Button1");
  EXPECT_EQ(Sent().size(), 3u);
  EXPECT_EQ(StatusPanel(&window_), " chyba 14");
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(RTCTest, LinkNotInitialisedOnEveryPollAndOnSetting) {
  Unlink();
  ExpectEachShowsLinkNotInitialised(&window_, {[&] { window_.Timer1Timer(); },
                                               [&] { harness::Click(&window_, "Button1"); },
                                               [&] { window_.Timer1Timer(); }});
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Clock(), std::vector<QString>(6, "0"));
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(RTCTest, ShowResetsLabelsFlagAddressAndStartsTimer) {
  window_.Timer1Timer();
  QueueBytes(1, 1, 1, 0);
  window_.Timer1Timer();
  ASSERT_TRUE(window_.PowerFailureRead());
  TimerOf(&window_)->stop();
  config_.ModuleAddress = 42;
  window_.hide();
  window_.show();
  EXPECT_FALSE(window_.PowerFailureRead());
  EXPECT_EQ(window_.ModuleAddress(), 42);
  EXPECT_EQ(Clock(), std::vector<QString>(6, "0"));
  EXPECT_TRUE(TimerOf(&window_)->isActive());

  TForm3 orphan;
  Freeze(&orphan);
  Open(orphan);
  orphan.Timer1Timer();
  harness::Click(&orphan, "Button1");
  EXPECT_EQ(orphan.ModuleAddress(), 0);
  EXPECT_EQ(StatusPanel(&orphan), "");
  EXPECT_TRUE(TimerOf(&orphan)->isActive());
}

TEST_F(RTCTest, CancelStopsTimerAndCloses) {
  harness::Click(&window_, "Button2");
  EXPECT_FALSE(TimerOf(&window_)->isActive());
  EXPECT_FALSE(window_.isVisible());
}
