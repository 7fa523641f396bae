// Digital outputs write window against the scripted driver.
#include "OkamDOUT.h"

#include <QCheckBox>
#include <QPushButton>

#include "test_livewindow_fixture.h"

using namespace livetest;
using harness::StatusPanel;

class OkamDOUTTest : public LiveWindowTest {
 protected:
  void SetUp() override {
    LiveWindowTest::SetUp();
    window_.SetConfig(&config_);
    Open(window_);
  }
  void Tick(std::initializer_list<int> outputs) {
    for (int n : outputs) ASSERT_TRUE(harness::SetChecked(&window_, QStringLiteral("CheckBox%1").arg(n + 1), true));
  }
  TForm9 window_;
};

TEST(OkamDOUTWindow, CreatedWithUntickedBoxesInColumnsAndNoTimer) {
  TForm9 window;
  window.show();
  harness::Settle();
  EXPECT_EQ(window.windowTitle(), Q("Zápis na digitální výstupy"));
  for (int n = 0; n < 32; ++n) {
    auto* box = harness::Find<QCheckBox>(&window, QStringLiteral("CheckBox%1").arg(n + 1));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("DOUT%1").arg(n));
    EXPECT_FALSE(box->isChecked());
    if (n % 8 != 0) {
      auto* above = harness::Find<QCheckBox>(&window, QStringLiteral("CheckBox%1").arg(n));
      EXPECT_GT(box->y(), above->y()) << n;
      EXPECT_EQ(box->x(), above->x()) << n;
    }
  }
  EXPECT_GT(harness::Find<QCheckBox>(&window, "CheckBox9")->x(), harness::Find<QCheckBox>(&window, "CheckBox1")->x());
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button1")->text(), "Zapsat");
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button2")->text(), "Cancel");
  EXPECT_EQ(TimerOf(&window), nullptr);
  EXPECT_EQ(StatusPanel(&window), "");
}

TEST_F(OkamDOUTTest, PacksTickedOutputsIntoB4ToB7) {
  Tick({0, 9});
  harness::Click(&window_, "Button1");
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0], Req(1, 64, 0x00, 0x01, 0x02, 0x00, 0x00));
  EXPECT_EQ(StatusPanel(&window_), Q(" Data zapsána"));

  harness::SetChecked(&window_, "CheckBox1", false);
  harness::SetChecked(&window_, "CheckBox10", false);
  Tick({31});
  harness::Click(&window_, "Button1");
  EXPECT_EQ(Sent()[1], Req(1, 64, 0, 0, 0, 0, 0x80));

  Tick({7, 8, 16, 24});
  harness::Click(&window_, "Button1");
  EXPECT_EQ(Sent()[2], Req(1, 64, 0, 0x80, 0x01, 0x01, 0x81));
}

TEST_F(OkamDOUTTest, NoneTickedStillWrites) {
  harness::Click(&window_, "Button1");
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0], Req(1, 64));
}

TEST_F(OkamDOUTTest, FailedWriteAfterGoodOneShowsDriverTextAndKeepsTicks) {
  Tick({3});
  harness::Click(&window_, "Button1");
  EXPECT_EQ(StatusPanel(&window_), Q(" Data zapsána"));
  td::QueueStatus(12);
  harness::Click(&window_, "Button1");
  EXPECT_EQ(StatusPanel(&window_), " chyba 12");
  EXPECT_TRUE(harness::IsChecked(&window_, "CheckBox4"));
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(OkamDOUTTest, LinkNotInitialisedOrNoRecordSendsNothing) {
  Unlink();
  harness::Click(&window_, "Button1");
  EXPECT_EQ(StatusPanel(&window_), kLinkNotInitialisedText);

  TForm9 orphan;
  Open(orphan);
  harness::Click(&orphan, "Button1");
  EXPECT_EQ(StatusPanel(&orphan), "");
  EXPECT_TRUE(Sent().empty());
}
