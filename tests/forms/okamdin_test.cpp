// Live digital inputs window against the scripted driver.
#include "OkamDIN.h"

#include <QPushButton>

#include "test_livewindow_fixture.h"

using namespace livetest;
using harness::StatusPanel;

class OkamDINTest : public LiveWindowTest {};

TEST_F(OkamDINTest, CreatedPollingEvery100msWithEmptyStatusAndZeros) {
  TForm11 window;
  EXPECT_EQ(window.windowTitle(), Q("Okamžité hodnoty digitálních vstupů"));
  ASSERT_NE(TimerOf(&window), nullptr);
  EXPECT_EQ(TimerOf(&window)->interval(), 100);
  EXPECT_TRUE(TimerOf(&window)->isActive());
  EXPECT_EQ(StatusPanel(&window), "");
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button1")->text(), "Cancel");
  for (int n = 0; n < 32; ++n)
    EXPECT_EQ(harness::LabelText(&window, QStringLiteral("Label%1").arg(n + 1)), QStringLiteral("DIN%1").arg(n));
  for (const QString& v : Values(&window)) EXPECT_EQ(v, "0");
}

TEST_F(OkamDINTest, PollMapsBitsOfB4ToB7AndShowsTheStatusZeroText) {
  TForm11 window;
  OpenFrozen(window);
  QueueBytes(0x05, 0x00, 0x80, 0xFF);
  window.Timer1Timer();

  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0], Req(0, 64));
  for (int n = 0; n < 32; ++n) {
    const bool one = n == 0 || n == 2 || n == 23 || n >= 24;
    EXPECT_EQ(Value(&window, n), one ? "1" : "0") << "DIN" << n;
  }
  EXPECT_EQ(StatusPanel(&window), " OK");
  EXPECT_TRUE(TimerOf(&window)->isActive());
}

TEST_F(OkamDINTest, FailingPollKeepsLastGoodValuesAndTimerRuns) {
  TForm11 window;
  OpenFrozen(window);
  QueueBytes(0xFF, 0, 0, 0);
  window.Timer1Timer();
  td::QueueStatus(5);
  window.Timer1Timer();
  EXPECT_EQ(StatusPanel(&window), " chyba 5");
  EXPECT_EQ(Value(&window, 0), "1");
  EXPECT_EQ(Value(&window, 7), "1");
  EXPECT_EQ(Value(&window, 8), "0");
  EXPECT_TRUE(TimerOf(&window)->isActive());
  // The next good poll shows current values again by itself.
  QueueBytes(0, 0, 0, 0x80);
  window.Timer1Timer();
  EXPECT_EQ(Value(&window, 0), "0");
  EXPECT_EQ(Value(&window, 31), "1");
  EXPECT_EQ(StatusPanel(&window), " OK");
}

TEST_F(OkamDINTest, LinkNotInitialisedOnShowAndEveryTickSendsNothing) {
  Unlink();
  TForm11 window;
  OpenFrozen(window);
  ExpectEachShowsLinkNotInitialised(&window, {[&] { window.Timer1Timer(); }, [&] { window.Timer1Timer(); }});
  // A zero handle counts as not initialised too.
  config_.Initialized = true;
  const int32_t handle = config_.DriverHandle;
  config_.DriverHandle = 0;
  window.Timer1Timer();
  config_.DriverHandle = handle;
  EXPECT_TRUE(Sent().empty());
  for (const QString& v : Values(&window)) EXPECT_EQ(v, "0");
}

TEST_F(OkamDINTest, WithoutRecordAPollDoesNothing) {
  TForm11 window;
  Freeze(&window);
  Open(window);
  window.Timer1Timer();
  EXPECT_EQ(StatusPanel(&window), "");
  EXPECT_TRUE(Sent().empty());
}

TEST_F(OkamDINTest, AddressTakenFromRecordWhenShownOnly) {
  TForm11 window;
  Freeze(&window);
  window.SetConfig(&config_);
  EXPECT_EQ(window.ModuleAddress(), 0);
  Open(window);
  EXPECT_EQ(window.ModuleAddress(), kModuleAddress);
  config_.ModuleAddress = 99;
  window.Timer1Timer();
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0][0], kModuleAddress);
}

TEST_F(OkamDINTest, CancelClosesTheWindow) {
  TForm11 window;
  OpenFrozen(window);
  ASSERT_TRUE(harness::Click(&window, "Button1"));
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Rejected);
}
