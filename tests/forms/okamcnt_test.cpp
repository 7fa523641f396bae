// Live counters window against the scripted driver.
#include "OkamCNT.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QPushButton>

#include "test_livewindow_fixture.h"

using namespace livetest;
using harness::StatusPanel;

namespace {

// Reply of one counter group: four words per counter, low byte first.
std::vector<uint32_t> GroupWords(uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3) {
  std::vector<uint32_t> words;
  for (uint32_t v : {c0, c1, c2, c3})
    for (int k = 0; k < 4; ++k) words.push_back((v >> (8 * k)) & 0xFFu);
  return words;
}

std::vector<Request> GroupReads() {
  std::vector<Request> reads;
  for (uint8_t s = 0; s < 8; ++s) reads.push_back(Req(202, s));
  return reads;
}

std::vector<Request> Concat(std::vector<Request> a, const std::vector<Request>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

class OkamCNTTest : public LiveWindowTest {
 protected:
  // Opens the window; the module answers the run-state read with the bytes.
  void OpenWithRunState(uint32_t b4, uint32_t b5, uint32_t b6, uint32_t b7) {
    QueueBytes(b4, b5, b6, b7);
    window_.SetConfig(&config_);
    Freeze(&window_);
    Open(window_);
  }
  QString Toggle() { return harness::Find<QPushButton>(&window_, "Button3")->text(); }
  // Requests after the run-state read of the opening.
  std::vector<Request> SentAfterShow() {
    std::vector<Request> sent = Sent();
    if (!sent.empty()) sent.erase(sent.begin());
    return sent;
  }
  TForm6 window_;
};

TEST(OkamCNTWindow, CreatedStoppedWithToggleStop) {
  TForm6 window;
  EXPECT_EQ(window.windowTitle(), Q("Okamžité hodnoty čítačů"));
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button1")->text(), "Nulovat");
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button2")->text(), "Cancel");
  EXPECT_EQ(harness::Find<QPushButton>(&window, "Button3")->text(), "Stop");
  EXPECT_EQ(TimerOf(&window)->interval(), 100);
  EXPECT_FALSE(TimerOf(&window)->isActive());
  for (int n = 0; n < 32; ++n)
    EXPECT_EQ(harness::LabelText(&window, QStringLiteral("Label%1").arg(n + 1)), QStringLiteral("CNT %1").arg(n));
}

TEST_F(OkamCNTTest, ShowReadsRunStateAndStartsPolling) {
  OpenWithRunState(0, 0, 0, 0);
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0], Req(0, 112));
  EXPECT_EQ(Toggle(), "Start");
  EXPECT_TRUE(TimerOf(&window_)->isActive());
  EXPECT_EQ(StatusPanel(&window_), "");  // a good read shows nothing
}

TEST_F(OkamCNTTest, ShowRunStateAnyNonZeroByteMeansRunning) {
  OpenWithRunState(0, 0, 0, 1);
  EXPECT_EQ(Toggle(), "Stop");
}

TEST_F(OkamCNTTest, ShowRunStateFailureKeepsStopAndStillPolls) {
  td::QueueStatus(3);
  window_.SetConfig(&config_);
  Freeze(&window_);
  Open(window_);
  EXPECT_EQ(Toggle(), "Stop");
  EXPECT_EQ(StatusPanel(&window_), " chyba 3");
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(OkamCNTTest, ShowWithoutLinkOrRecordSendsNothingAndDoesNotPoll) {
  Unlink();
  window_.SetConfig(&config_);
  Open(window_);
  EXPECT_EQ(StatusPanel(&window_), kLinkNotInitialisedText);
  EXPECT_FALSE(TimerOf(&window_)->isActive());
  for (const QString& v : Values(&window_)) EXPECT_EQ(v, "0");

  // A tick on such a window shows the message again and keeps the timer off.
  window_.findChild<TStatusBar*>("StatusBar1")->SetPanelText(0, "x");
  window_.Timer1Timer();
  EXPECT_EQ(StatusPanel(&window_), kLinkNotInitialisedText);
  EXPECT_FALSE(TimerOf(&window_)->isActive());

  TForm6 orphan;
  Open(orphan);
  orphan.Timer1Timer();
  EXPECT_EQ(StatusPanel(&orphan), "");
  EXPECT_FALSE(TimerOf(&orphan)->isActive());
  EXPECT_TRUE(Sent().empty());
}

TEST_F(OkamCNTTest, TickReadsEightGroupsAndPacksUnsignedLowBytesOnly) {
  OpenWithRunState(1, 1, 1, 1);
  std::vector<uint32_t> group0 = GroupWords(0x12345678u, 0xFFFFFFFFu, 0, 0);
  group0[8] = 0x1FF;   // only the low byte counts: CNT 2 = 255
  group0[13] = 0x101;  // CNT 3 = 256
  td::QueueData(group0, 16);
  for (uint32_t g = 1; g < 8; ++g) td::QueueData(GroupWords(4 * g, 4 * g + 1, 4 * g + 2, 4 * g + 3), 16);
  window_.Timer1Timer();

  EXPECT_EQ(SentAfterShow(), GroupReads());
  EXPECT_EQ(Value(&window_, 0), "305419896");
  EXPECT_EQ(Value(&window_, 1), "4294967295");
  EXPECT_EQ(Value(&window_, 2), "255");
  EXPECT_EQ(Value(&window_, 3), "256");
  for (int n = 4; n < 32; ++n) EXPECT_EQ(Value(&window_, n), QString::number(n)) << n;
  EXPECT_EQ(StatusPanel(&window_), " OK");
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(OkamCNTTest, ClicksBetweenTicksGiveOneRequestEach) {
  OpenWithRunState(0, 0, 0, 0);
  harness::Click(&window_, "Button1");
  harness::Click(&window_, "Button1");
  harness::Click(&window_, "Button3");
  harness::Click(&window_, "Button3");
  EXPECT_EQ(Sent().size(), 1u);  // nothing is sent at the click
  window_.Timer1Timer();
  std::vector<Request> expected = {Req(1, 113, 0, 255, 255, 255, 255), Req(1, 112, 0, 255, 255, 255, 255)};
  EXPECT_EQ(SentAfterShow(), Concat(expected, GroupReads()));
  EXPECT_EQ(Toggle(), "Stop");
  EXPECT_FALSE(window_.ClearRequested());
  EXPECT_FALSE(window_.ToggleRequested());

  // The next tick only reads.
  window_.Timer1Timer();
  EXPECT_EQ(Sent().size(), 1u + 10u + 8u);
}

TEST_F(OkamCNTTest, ToggleWhileRunningSendsStop) {
  OpenWithRunState(0, 0, 0, 1);
  harness::Click(&window_, "Button3");
  window_.Timer1Timer();
  EXPECT_EQ(SentAfterShow(), Concat({Req(1, 112)}, GroupReads()));
  EXPECT_EQ(Toggle(), "Start");
}

TEST_F(OkamCNTTest, FailedToggleChangesCaptionAnywayAndIsNotRepeated) {
  OpenWithRunState(0, 0, 0, 0);
  harness::Click(&window_, "Button3");
  td::QueueStatus(6);
  window_.Timer1Timer();
  EXPECT_EQ(SentAfterShow(), (std::vector<Request>{Req(1, 112, 0, 255, 255, 255, 255)}));
  EXPECT_EQ(Toggle(), "Stop");
  EXPECT_EQ(StatusPanel(&window_), " chyba 6");
  EXPECT_TRUE(TimerOf(&window_)->isActive());

  window_.Timer1Timer();
  EXPECT_EQ(SentAfterShow().size(), 1u + 8u);
  EXPECT_EQ(StatusPanel(&window_), " OK");
}

TEST_F(OkamCNTTest, FailedClearEndsTickAndLeavesToggleForTheNext) {
  OpenWithRunState(0, 0, 0, 0);
  harness::Click(&window_, "Button1");
  harness::Click(&window_, "Button3");
  td::QueueStatus(2);
  window_.Timer1Timer();
  EXPECT_EQ(SentAfterShow(), (std::vector<Request>{Req(1, 113, 0, 255, 255, 255, 255)}));
  EXPECT_EQ(Toggle(), "Start");
  EXPECT_TRUE(window_.ToggleRequested());
  EXPECT_EQ(StatusPanel(&window_), " chyba 2");

  window_.Timer1Timer();
  EXPECT_EQ(SentAfterShow()[1], Req(1, 112, 0, 255, 255, 255, 255));
  EXPECT_EQ(SentAfterShow().size(), 2u + 8u);
}

TEST_F(OkamCNTTest, FailureInGroupThreeKeepsLaterCountersAsBefore) {
  OpenWithRunState(1, 0, 0, 0);
  td::ScriptedReply ones;
  ones.count = 16;
  ones.words = GroupWords(1, 1, 1, 1);
  td::SetDefaultReply(ones);
  window_.Timer1Timer();
  for (int n = 0; n < 32; ++n) ASSERT_EQ(Value(&window_, n), "1");

  for (int g = 0; g < 3; ++g) td::QueueData(GroupWords(2, 2, 2, 2), 16);
  td::QueueStatus(8);
  window_.Timer1Timer();
  for (int n = 0; n < 12; ++n) EXPECT_EQ(Value(&window_, n), "2") << n;
  for (int n = 12; n < 32; ++n) EXPECT_EQ(Value(&window_, n), "1") << n;
  EXPECT_EQ(StatusPanel(&window_), " chyba 8");
  EXPECT_EQ(Sent().back(), Req(202, 3));
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(OkamCNTTest, ButtonsWithoutLinkShowMessageAndRecordNothing) {
  OpenWithRunState(0, 0, 0, 0);
  Unlink();
  ExpectEachShowsLinkNotInitialised(&window_, {[&] { harness::Click(&window_, "Button1"); },
                                               [&] { harness::Click(&window_, "Button3"); }});
  EXPECT_FALSE(window_.ClearRequested());
  EXPECT_FALSE(window_.ToggleRequested());

  window_.Timer1Timer();  // link still down: nothing sent, timer kept
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_TRUE(TimerOf(&window_)->isActive());
}

TEST_F(OkamCNTTest, ShowAgainClearsRequestsAndValues) {
  OpenWithRunState(0, 0, 0, 0);
  td::SetDefaultReply({0, 0, 16, GroupWords(9, 9, 9, 9)});
  window_.Timer1Timer();
  harness::Click(&window_, "Button1");
  harness::Click(&window_, "Button3");
  window_.FormShow();
  EXPECT_FALSE(window_.ClearRequested());
  EXPECT_FALSE(window_.ToggleRequested());
  for (const QString& v : Values(&window_)) EXPECT_EQ(v, "0");
}

TEST_F(OkamCNTTest, CancelBetweenGroupsTakesEffectWhenTheTickEnds) {
  auto* window = new TForm6;
  window->setAttribute(Qt::WA_DeleteOnClose);
  QPointer<TForm6> alive(window);
  QueueBytes(1, 0, 0, 0);
  window->SetConfig(&config_);
  Freeze(window);
  Open(*window);

  size_t sentAtCancel = 0, sentAfterCancel = 0;
  bool visibleAfterCancel = false;
  QTimer::singleShot(0, [&]() {
    sentAtCancel = Sent().size();
    harness::Click(window, "Button2");
    QTimer::singleShot(0, [&]() {
      visibleAfterCancel = alive && alive->isVisible();
      sentAfterCancel = Sent().size();
    });
  });
  window->Timer1Timer();

  EXPECT_EQ(sentAtCancel, 2u);  // the run-state read and group 0
  EXPECT_TRUE(visibleAfterCancel);
  EXPECT_LT(sentAfterCancel, 9u);
  EXPECT_EQ(SentAfterShow(), GroupReads());  // the tick still read every group
  ASSERT_FALSE(alive.isNull());              // never destroyed under its tick
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_FALSE(TimerOf(window)->isActive());  // a closed window does not poll again
  EXPECT_FALSE(window->ClosePending());

  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(alive.isNull());
}

TEST_F(OkamCNTTest, ModalRunEndsAfterATickInterruptedByCancel) {
  size_t sentWhenTickEnded = 0;
  QTimer::singleShot(0, [&]() {
    Freeze(&window_);
    QTimer::singleShot(0, [&]() { harness::Click(&window_, "Button2"); });
    window_.Timer1Timer();
    sentWhenTickEnded = Sent().size();
  });
  window_.SetConfig(&config_);
  const int result = window_.exec();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(sentWhenTickEnded, 1u + 8u);
}
