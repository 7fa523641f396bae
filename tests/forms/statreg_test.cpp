// Status register window against the scripted driver.
#include "StatReg.h"

#include <QPushButton>

#include "test_livewindow_fixture.h"

using namespace livetest;
using harness::LabelText;
using harness::StatusPanel;

class StatRegTest : public LiveWindowTest {
 protected:
  void SetUp() override {
    LiveWindowTest::SetUp();
    Freeze(&window_);
    window_.SetConfig(&config_);
    Open(window_);
  }
  // Channels showing "1".
  std::vector<int> Ones() {
    std::vector<int> ones;
    for (int n = 0; n < 32; ++n)
      if (Value(&window_, n) == "1") ones.push_back(n);
    return ones;
  }
  TForm15 window_;
};

TEST(StatRegWindow, CreatedWithBitNamesButtonsAnd500msTimerRunning) {
  TForm15 window;
  EXPECT_EQ(window.windowTitle(), "Status registr");
  const char* names[8] = {"---", "FN", "PRF", "---", "PWR", "RST", "ERR24", "---"};
  for (int n = 0; n < 8; ++n) EXPECT_EQ(LabelText(&window, QStringLiteral("Label%1").arg(n + 1)), names[n]);
  for (int n = 8; n < 32; ++n) EXPECT_EQ(LabelText(&window, QStringLiteral("Label%1").arg(n + 1)), "---");
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button2")->text(), "Vynulovat");
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button1")->text(), "Cancel");
  EXPECT_EQ(TimerOf(&window)->interval(), 500);
  EXPECT_TRUE(TimerOf(&window)->isActive());
  EXPECT_EQ(StatusPanel(&window), "");
  EXPECT_EQ(window.ModuleAddress(), 0);
}

TEST_F(StatRegTest, PollMapsStatusBits) {
  QueueBytes(0x12, 0x00, 0x00, 0x00);
  window_.Timer1Timer();
  EXPECT_EQ(Ones(), (std::vector<int>{1, 4}));  // FN and PWR
  EXPECT_EQ(StatusPanel(&window_), " OK");

  QueueBytes(0x40, 0x01, 0x00, 0x80);
  window_.Timer1Timer();
  EXPECT_EQ(Ones(), (std::vector<int>{6, 8, 31}));  // ERR24, bit 8, bit 31

  ASSERT_EQ(Sent().size(), 2u);
  EXPECT_EQ(Sent()[0], Req(100, 0));
  EXPECT_EQ(Sent()[1], Req(100, 0));
}

TEST_F(StatRegTest, FailingPollKeepsLabelsAndShowsDriverText) {
  QueueBytes(0x02, 0, 0, 0);
  window_.Timer1Timer();
  td::SetErrorText(9, "Modul neodpov\xEC" "d\xE1");  // Windows-1250 bytes
  td::QueueStatus(9);
  window_.Timer1Timer();
  EXPECT_EQ(StatusPanel(&window_), Q(" Modul neodpovědá"));
  EXPECT_EQ(Ones(), (std::vector<int>{1}));
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(StatRegTest, ClearSendsCommand101AndShowsNothingOnSuccess) {
  window_.findChild<TStatusBar*>("StatusBar1")->SetPanelText(0, " before");
  ASSERT_TRUE(harness::Click(&window_, "Button2"));
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0], Req(101, 0));
  EXPECT_EQ(StatusPanel(&window_), " before");

  td::QueueStatus(4);
  harness::Click(&window_, "Button2");
  EXPECT_EQ(StatusPanel(&window_), " chyba 4");
  EXPECT_EQ(Sent().size(), 2u);  // not retried
}

TEST_F(StatRegTest, LinkNotInitialisedOnTickAndClearSendsNothing) {
  Unlink();
  ExpectEachShowsLinkNotInitialised(&window_,
                                    {[&] { window_.Timer1Timer(); }, [&] { harness::Click(&window_, "Button2"); }});
  EXPECT_TRUE(Sent().empty());
  EXPECT_TRUE(Ones().empty());
}

TEST_F(StatRegTest, WithoutRecordClearAndPollDoNothing) {
  TForm15 window;
  Freeze(&window);
  Open(window);
  harness::Click(&window, "Button2");
  window.Timer1Timer();
  EXPECT_EQ(StatusPanel(&window), "");
  EXPECT_TRUE(Sent().empty());
}
