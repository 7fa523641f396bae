// What the three configuration windows share: the link check, windows
// without a record, clicks that arrive while a sequence runs, and a close
// asked for during a sequence, which waits until the sequence has ended.
#include <QKeyEvent>
#include <QScreen>
#include <cstring>

#include "Citac618.h"
#include "NastavAdr.h"
#include "NastavDIO.h"
#include "test_configwindow_fixture.h"

using harness::Q;
using namespace configtest;

namespace {

// Per window: how a full read and a full write of the default block are
// scripted, and how many requests they take.
template <class W>
struct Traits;

template <>
struct Traits<TForm12> {
  static constexpr size_t kReads = 2;
  static std::vector<uint8_t> DefaultBytes() { return {1, 4}; }
};
template <>
struct Traits<TForm14> {
  static constexpr size_t kReads = 12;
  static std::vector<uint8_t> DefaultBytes() { return {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}; }
};
template <>
struct Traits<TForm5> {
  static constexpr size_t kReads = 8;
  static std::vector<uint8_t> DefaultBytes() { return {1, 0, 1, 0, 1, 0, 1, 0}; }
};

template <class W>
class SharedBehaviourTest : public ConfigWindowTest {
 protected:
  static void ScriptFullRead() {
    for (size_t i = 0; i < Traits<W>::kReads; ++i) QueueRead(0);
  }
  static void ScriptFullWrite() {
    for (uint8_t value : Traits<W>::DefaultBytes()) QueueVerifiedWrite(value);
  }

  W form_;
};

using Windows = ::testing::Types<TForm12, TForm14, TForm5>;
TYPED_TEST_SUITE(SharedBehaviourTest, Windows);

// ---- Link check and windows without a record ------------------------------

TYPED_TEST(SharedBehaviourTest, ReadAndWriteNeedAnInitialisedLink) {
  this->config_.Initialized = false;
  this->Open(this->form_);
  for (const char* button : {"Button2", "Button1"}) {
    harness::Click(&this->form_, button);
    EXPECT_EQ(this->form_.StatusText(), Q(" Připojení k modulu není inicializováno.")) << button;
  }
  this->config_.Initialized = true;
  this->config_.DriverHandle = 0;
  harness::Click(&this->form_, "Button2");
  EXPECT_EQ(this->form_.StatusText(), Q(" Připojení k modulu není inicializováno."));
  EXPECT_TRUE(this->Sent().empty());
  EXPECT_TRUE(this->form_.isVisible());
}

TYPED_TEST(SharedBehaviourTest, SequencesCalledDirectlyDoNothingWithoutALink) {
  this->config_.Initialized = false;
  this->Open(this->form_);
  TModuleSetup setup = DefaultModuleSetup();
  this->form_.PrectiData(setup);
  this->form_.ZapisData(setup);
  EXPECT_EQ(this->form_.StatusText(), " ");
  EXPECT_TRUE(this->Sent().empty());
}

TYPED_TEST(SharedBehaviourTest, WithoutARecordOnlyCancelActs) {
  this->form_.show();
  harness::Settle();
  for (const char* button : {"Button1", "Button2", "Button3"}) harness::Click(&this->form_, button);
  EXPECT_TRUE(this->form_.isVisible());
  EXPECT_TRUE(this->Sent().empty());
  harness::Click(&this->form_, "Button4");
  EXPECT_FALSE(this->form_.isVisible());
}

TYPED_TEST(SharedBehaviourTest, OkNeedsNoLinkAndSendsNothing) {
  this->config_.Initialized = false;
  this->config_.ModuleSetup.Address = 77;
  this->Open(this->form_);
  harness::Click(&this->form_, "Button3");
  EXPECT_FALSE(this->form_.isVisible());
  EXPECT_EQ(this->form_.result(), QDialog::Accepted);
  EXPECT_EQ(this->config_.ModuleSetup.Address, 77);
  EXPECT_TRUE(this->Sent().empty());
}

// ---- Clicks during a running sequence --------------------------------------

TYPED_TEST(SharedBehaviourTest, ClicksDuringAReadAreIgnored) {
  this->Open(this->form_);
  this->ScriptFullRead();
  const TModuleSetup stored = this->config_.ModuleSetup;
  bool sawRunning = false;
  DuringNextPump([this, &sawRunning]() {
    sawRunning = this->form_.SequenceRunning();
    for (const char* button : {"Button1", "Button2", "Button3"}) harness::Click(&this->form_, button);
  });
  harness::Click(&this->form_, "Button2");
  EXPECT_TRUE(sawRunning);
  EXPECT_FALSE(this->form_.SequenceRunning());
  const std::vector<Request> sent = this->Sent();
  ASSERT_EQ(sent.size(), Traits<TypeParam>::kReads);
  for (const Request& request : sent) EXPECT_EQ(request[1], 102u);
  EXPECT_TRUE(this->form_.isVisible());  // "Ok" was ignored
  EXPECT_EQ(std::memcmp(&this->config_.ModuleSetup, &stored, sizeof stored), 0);
  EXPECT_EQ(this->form_.StatusText(), Q(" Konfigurace přečtena."));
}

TYPED_TEST(SharedBehaviourTest, ClicksDuringAWriteAreIgnored) {
  this->Open(this->form_);
  this->ScriptFullWrite();
  DuringNextPump([this]() {
    for (const char* button : {"Button2", "Button1", "Button3"}) harness::Click(&this->form_, button);
  });
  harness::Click(&this->form_, "Button1");
  EXPECT_EQ(this->Sent().size(), 2 * Traits<TypeParam>::kReads);
  EXPECT_TRUE(this->form_.isVisible());
  EXPECT_EQ(this->form_.StatusText(), Q(" Konfigurace zapsána."));
}

// A write the module refuses ends the sequence there: no read-back, no
// later register; the status shows the driver's text. Rows: how many
// registers were written before.
TYPED_TEST(SharedBehaviourTest, FailedWriteEndsTheSequence) {
  struct Row {
    size_t written;
    int32_t status;
    const char* text;
  };
  this->Open(this->form_);
  for (const Row& row : {Row{0, 4, " chyba 4"}, Row{1, 12, " chyba 12"}}) {
    const size_t before = this->Sent().size();
    for (size_t i = 0; i < row.written; ++i) QueueVerifiedWrite(Traits<TypeParam>::DefaultBytes()[i]);
    td::QueueStatus(row.status);
    harness::Click(&this->form_, "Button1");
    EXPECT_EQ(this->Sent().size() - before, 2 * row.written + 1) << row.written << " written";
    EXPECT_EQ(this->form_.StatusText(), row.text) << row.written << " written";
  }
}

// ---- Closing during a running sequence -------------------------------------

TYPED_TEST(SharedBehaviourTest, CancelDuringAReadTakesEffectWhenItEnds) {
  this->Open(this->form_);
  this->ScriptFullRead();
  bool visibleAfterCancel = false;
  DuringNextPump([this, &visibleAfterCancel]() {
    harness::Click(&this->form_, "Button4");
    visibleAfterCancel = this->form_.isVisible();
  });
  harness::Click(&this->form_, "Button2");
  EXPECT_TRUE(visibleAfterCancel);
  EXPECT_EQ(this->Sent().size(), Traits<TypeParam>::kReads);
  EXPECT_EQ(this->form_.StatusText(), Q(" Konfigurace přečtena."));
  EXPECT_FALSE(this->form_.isVisible());
  EXPECT_EQ(this->form_.result(), QDialog::Rejected);
}

TYPED_TEST(SharedBehaviourTest, CloseBoxDuringAWriteTakesEffectWhenItEnds) {
  this->Open(this->form_);
  this->ScriptFullWrite();
  bool visibleAfterClose = false;
  DuringNextPump([this, &visibleAfterClose]() {
    this->form_.close();
    visibleAfterClose = this->form_.isVisible();
  });
  harness::Click(&this->form_, "Button1");
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(this->Sent().size(), 2 * Traits<TypeParam>::kReads);
  EXPECT_FALSE(this->form_.isVisible());
}

TYPED_TEST(SharedBehaviourTest, EscapeDuringAFailingReadClosesWhenItStops) {
  this->Open(this->form_);
  QueueRead(0);
  td::QueueStatus(5);
  DuringNextPump([this]() {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&this->form_, &escape);
    EXPECT_TRUE(this->form_.isVisible());
  });
  harness::Click(&this->form_, "Button2");
  EXPECT_EQ(this->Sent().size(), 2u);
  EXPECT_EQ(this->form_.StatusText(), " chyba 5");
  EXPECT_FALSE(this->form_.isVisible());
}

TYPED_TEST(SharedBehaviourTest, ModalRunEndsOnlyAfterTheSequence) {
  this->form_.SetConfig(&this->config_);
  this->ScriptFullRead();
  size_t sentAtCancel = 0;
  harness::OnNextModal([this, &sentAtCancel](QWidget* dialog) {
    DuringNextPump([dialog, &sentAtCancel]() {
      harness::Click(dialog, "Button4");
      sentAtCancel = td::Requests().size();
    });
    harness::Click(dialog, "Button2");
  });
  // Watchdog only: ends a run that would otherwise hang.
  QTimer::singleShot(10000, &this->form_, [this]() { this->form_.QDialog::done(99); });
  const int result = this->form_.exec();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_GE(sentAtCancel, 1u);
  EXPECT_LT(sentAtCancel, Traits<TypeParam>::kReads);
  EXPECT_EQ(this->Sent().size(), Traits<TypeParam>::kReads);
}

// ---- Frame ------------------------------------------------------------------

TYPED_TEST(SharedBehaviourTest, OpensCentredWithAFixedSize) {
  this->Open(this->form_);
  QScreen* screen = this->form_.screen();
  ASSERT_NE(screen, nullptr);
  const QPoint offset = this->form_.frameGeometry().center() - screen->availableGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2);
  EXPECT_EQ(this->form_.minimumSize(), this->form_.maximumSize());
}

// ---- Shared pieces ----------------------------------------------------------

TEST(ProgressText, PercentagesDropTheRemainder) {
  std::vector<int> eighths, twelfths;
  for (size_t n = 1; n <= 8; ++n) eighths.push_back(ProgressPercent(n, 8));
  for (size_t n = 1; n <= 12; ++n) twelfths.push_back(ProgressPercent(n, 12));
  EXPECT_EQ(eighths, (std::vector<int>{12, 25, 37, 50, 62, 75, 87, 100}));
  EXPECT_EQ(twelfths, (std::vector<int>{8, 16, 25, 33, 41, 50, 58, 66, 75, 83, 91, 100}));
  EXPECT_EQ(ReadingProgressText(0), Q(" Probíhá čtení konfigurace z modulu (0 %)"));
  EXPECT_EQ(WritingProgressText(62), Q(" Probíhá zápis konfigurace do modulu (62 %)"));
}

}  // namespace
