// The live windows and the module clock window end to end: the real LAN
// driver library over UDP on 127.0.0.1 to a simulated module running in
// this process. Ticks are called directly; the windows' own timers are
// pushed out of the way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <string>

#include "FormsHarness.h"
#include "sim/model/ModuleClock.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "OkamDOUT.h"
#include "PcClock.h"
#include "RTC.h"
#include "StatReg.h"
#include "e2e_fixture.h"

using harness::LabelText;
using harness::Q;
using harness::StatusPanel;

namespace {

constexpr int64_t kPcTime = 1780000000;  // 2026-05-28, a fixed PC clock for the module

void Freeze(QWidget* window) {
  if (auto* timer = window->findChild<QTimer*>(QStringLiteral("Timer1"))) timer->setInterval(3600 * 1000);
}

QString Value(QWidget* window, int channel) { return LabelText(window, QStringLiteral("Label%1").arg(33 + channel)); }

class LiveE2E : public SimLinkTest {
 protected:
  void SetUp() override {
    time_.SetPcSeconds(kPcTime);
    ASSERT_NO_FATAL_FAILURE(StartAndConnect(&time_));
    ok_ = QStringLiteral(" ") + DriverText(itDq2847, 0);
  }
  void TearDown() override {
    SimLinkTest::TearDown();
    SetPcClockSource({});
    SetCurrentYearSource({});
  }
  void Open(QWidget& window) {
    Freeze(&window);
    window.show();
    harness::Settle();
  }
  dqsim::ModuleSnapshot Module() { return sim_->Snapshot(0); }

  dqsim::ManualTime time_;  // the simulator stops in TearDown, before this goes
  QString ok_;
};

TEST_F(LiveE2E, CountersRunStopAndClear) {
  TForm6 window;
  window.SetConfig(&config_);
  Open(window);
  auto* toggle = harness::Find<QPushButton>(&window, "Button3");
  ASSERT_TRUE(Module().countersRunning);
  EXPECT_EQ(toggle->text(), "Stop");

  sim_->Pulse(0, 10, 5);
  sim_->Pulse(0, 31, 70000);
  window.Timer1Timer();
  EXPECT_EQ(StatusPanel(&window), ok_);
  EXPECT_EQ(Value(&window, 10), "5");
  EXPECT_EQ(Value(&window, 31), "70000");

  harness::Click(&window, "Button3");
  window.Timer1Timer();
  EXPECT_FALSE(Module().countersRunning);
  EXPECT_EQ(toggle->text(), "Start");
  sim_->Pulse(0, 10, 3);  // not counted while stopped
  window.Timer1Timer();
  EXPECT_EQ(Value(&window, 10), "5");

  harness::Click(&window, "Button1");
  harness::Click(&window, "Button3");
  window.Timer1Timer();
  EXPECT_TRUE(Module().countersRunning);
  EXPECT_EQ(toggle->text(), "Stop");
  for (int n = 0; n < 32; ++n) EXPECT_EQ(Value(&window, n), "0") << n;
  EXPECT_EQ(StatusPanel(&window), ok_);

  // A fresh opening takes the run state from the module.
  harness::Click(&window, "Button3");
  window.Timer1Timer();
  TForm6 reopened;
  reopened.SetConfig(&config_);
  Open(reopened);
  EXPECT_EQ(harness::Find<QPushButton>(&reopened, "Button3")->text(), "Start");
}

TEST_F(LiveE2E, InputsSetThroughTheControlLineAppear) {
  TForm11 window;
  window.SetConfig(&config_);
  Open(window);
  const std::string answer = sim_->Control("inputs set 0x80010005");
  ASSERT_NE(answer.find("ok"), std::string::npos) << answer;
  window.Timer1Timer();
  const uint32_t reported = Module().inputs;
  for (int n = 0; n < 32; ++n) EXPECT_EQ(Value(&window, n), (reported >> n) & 1u ? "1" : "0") << "DIN" << n;
  EXPECT_NE(reported, 0u);
  EXPECT_NE(reported, 0xFFFFFFFFu);
  EXPECT_EQ(StatusPanel(&window), ok_);
}

TEST_F(LiveE2E, StatusRegisterShowsBitsAndClears) {
  TForm15 window;
  window.SetConfig(&config_);
  Open(window);
  sim_->SetStatusBits(0, 1u << 2);
  window.Timer1Timer();
  EXPECT_EQ(Value(&window, 4), "1");  // PWR after power-up
  EXPECT_EQ(Value(&window, 2), "1");  // PRF set here
  EXPECT_EQ(StatusPanel(&window), ok_);

  harness::Click(&window, "Button2");
  EXPECT_EQ(Module().status, 0u);
  window.Timer1Timer();
  for (int n = 0; n < 32; ++n) EXPECT_EQ(Value(&window, n), "0") << n;
}

TEST_F(LiveE2E, WrittenOutputsAppearInTheModule) {
  TForm9 window;
  window.SetConfig(&config_);
  Open(window);
  for (int n : {0, 9, 31}) harness::SetChecked(&window, QStringLiteral("CheckBox%1").arg(n + 1), true);
  harness::Click(&window, "Button1");
  EXPECT_EQ(StatusPanel(&window), Q(" Data zapsána"));
  EXPECT_EQ(Module().outputs, (1u << 0) | (1u << 9) | (1u << 31));
}

TEST_F(LiveE2E, ClockSetFromThePcReadsBackWithThePowerFailure) {
  SetCurrentYearSource([]() { return 2026; });
  SetPcClockSource([]() { return TPcDateTime{2026, 12, 7, 6, 30, 15}; });
  sim_->Restart(0, 90);  // a recorded power failure of 90 s
  const dqsim::PowerFailRecord failure = Module().powerFail;
  ASSERT_NE(failure.start, 0);

  TForm3 window;
  window.SetConfig(&config_);
  Open(window);
  harness::Click(&window, "Button1");
  EXPECT_EQ(StatusPanel(&window), Q(" Čas nastaven"));
  window.Timer1Timer();
  EXPECT_EQ(LabelText(&window, "Label6"), "6:30:15");
  EXPECT_EQ(LabelText(&window, "Label9"), "7.12.2026");
  EXPECT_EQ(StatusPanel(&window), ok_);

  auto timeText = [](int64_t wall) {
    auto b = dqsim::TimeBytes(wall);
    return QString::fromStdString(TimeText(b[2], b[1], b[0]));
  };
  auto dateText = [](int64_t wall) {
    auto b = dqsim::DateBytes(wall);
    return QString::fromStdString(DateText(b[0], b[1], b[2]));
  };
  EXPECT_EQ(LabelText(&window, "Label4"), timeText(failure.start));
  EXPECT_EQ(LabelText(&window, "Label7"), dateText(failure.start));
  EXPECT_EQ(LabelText(&window, "Label5"), timeText(failure.end));
  EXPECT_EQ(LabelText(&window, "Label8"), dateText(failure.end));
  EXPECT_NE(LabelText(&window, "Label4"), LabelText(&window, "Label5"));
}

}  // namespace
