// Rules every module dialog keeps, against the scripted driver: no key
// pressed right after opening writes into the module, Tab reaches the
// fields before the buttons, the longest text of the driver libraries shows
// whole in the status panel, and a longer one leaves the dialog's size and
// place alone; the program icon is in the resources.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Citac618.h"
#include "FormsHarness.h"
#include "NastavAdr.h"
#include "NastavDIO.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "OkamDOUT.h"
#include "Pripojeni.h"
#include "ProgramIcon.h"
#include "RTC.h"
#include "ScriptedDriver.h"
#include "StatReg.h"
#include "Txxx847.h"
#include "core/ErrorCodes.h"
#include "core/ErrorTexts.h"

namespace {

namespace td = testdriver;
using harness::Q;

// Commands that change the module: register write, clock and status
// register write, outputs and counter control.
bool IsWrite(uint32_t command) { return command == 103 || command == 101 || command == 1; }

// Library calls that open or close a link.
size_t LinkCalls() {
  size_t n = 0;
  for (const std::string& name : td::CallNames())
    if (name.find("_Init") != std::string::npos || name.find("_Done") != std::string::npos) ++n;
  return n;
}

// The code whose text the tests below give the scripted library.
constexpr int32_t kLongTextCode = 22;

struct WindowRow {
  const char* name;
  std::function<QDialog*()> make;
  // Buttons whose click acts on the module (writes, or opens the link).
  std::vector<const char*> actingButtons;
  // Makes the window show the driver's text for kLongTextCode, which the
  // script fails with; the status then reads expectedPrefix and that text.
  std::function<void(QDialog*)> fail;
  const char* expectedPrefix;
};

template <class T>
QDialog* Make() {
  return new T;
}

// One poll of a window with a timer; nothing for the others.
void Tick(QDialog* window) {
  if (window->metaObject()->indexOfSlot("Timer1Timer()") >= 0) QMetaObject::invokeMethod(window, "Timer1Timer");
}

void ClickButton(QDialog* window, const char* name) { harness::Click(window, QString::fromLatin1(name)); }

// The script fails the next exchange, then the window clicks or polls.
std::function<void(QDialog*)> FailingClick(const char* button) {
  return [button](QDialog* w) {
    td::QueueStatus(kLongTextCode);
    ClickButton(w, button);
  };
}
void FailingTick(QDialog* w) {
  td::QueueStatus(kLongTextCode);
  Tick(w);
}

const std::vector<WindowRow>& Rows() {
  static const std::vector<WindowRow> rows = {
      {"connection", Make<TForm2>, {"Button1"},
       [](QDialog* w) {
         td::SetInitResult(kLongTextCode);
         ClickButton(w, "Button1");
       },
       "Chyba inicializace připojení - "},
      {"address_rate", Make<TForm12>, {"Button1"}, FailingClick("Button2"), " "},
      {"digital_io", Make<TForm14>, {"Button1"}, FailingClick("Button2"), " "},
      {"counter_settings", Make<TForm5>, {"Button1"}, FailingClick("Button2"), " "},
      {"clock", Make<TForm3>, {"Button1"}, FailingTick, " "},
      {"counters", Make<TForm6>, {"Button1", "Button3"}, FailingTick, " "},
      {"inputs", Make<TForm11>, {}, FailingTick, " "},
      {"status_register", Make<TForm15>, {"Button2"}, FailingTick, " "},
      {"outputs", Make<TForm9>, {"Button1"}, FailingClick("Button1"), " "},
  };
  return rows;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    td::Reset();
    config_ = harness::InitialisedConfig(itComPort, 4);
    int32_t handle = 0;
    ASSERT_EQ(DriverInit(itComPort, handle, config_.InitParams), 0);
    config_.DriverHandle = handle;
  }
  void TearDown() override {
    delete window_.data();
    int32_t handle = config_.DriverHandle;
    if (DriverIsBound() && config_.Initialized) DriverDone(itComPort, handle);
    td::Reset();
  }

  // Opens the row's window on the record, as the main window does, with its
  // poll timer pushed an hour away so that only the test's ticks poll.
  QDialog* Open(const WindowRow& row) {
    window_ = row.make();
    if (auto* timer = window_->findChild<QTimer*>(QStringLiteral("Timer1"))) timer->setInterval(3600 * 1000);
    if (auto* w = qobject_cast<TConfigWindow*>(window_.data())) w->SetConfig(&config_);
    if (auto* w = qobject_cast<TLiveDialog*>(window_.data())) w->SetConfig(&config_);
    if (auto* w = qobject_cast<TForm2*>(window_.data())) w->SetConfig(&config_);
    window_->show();
    window_->activateWindow();
    harness::Settle();
    return window_.data();
  }

  TConnectionConfig config_;
  QPointer<QDialog> window_;
};

// --- No key right after opening acts on the module -------------------------

struct KeyRow {
  Qt::Key key;
  const char* name;
};
const KeyRow kKeys[] = {{Qt::Key_Space, "Space"}, {Qt::Key_Enter, "Enter"}, {Qt::Key_Return, "Return"}};

class OpeningKeyTest : public DialogTest, public ::testing::WithParamInterface<std::tuple<size_t, size_t>> {};

TEST_P(OpeningKeyTest, WritesNothing) {
  const WindowRow& row = Rows()[std::get<0>(GetParam())];
  const KeyRow& key = kKeys[std::get<1>(GetParam())];
  QDialog* window = Open(row);
  QWidget* focus = window->focusWidget();
  ASSERT_NE(focus, nullptr);
  for (const char* name : row.actingButtons) EXPECT_NE(focus->objectName().toStdString(), name);

  const size_t sentBefore = td::Requests().size();
  const size_t linkCallsBefore = LinkCalls();
  const QString text = key.key == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r");
  QKeyEvent press(QEvent::KeyPress, key.key, Qt::NoModifier, text);
  QKeyEvent release(QEvent::KeyRelease, key.key, Qt::NoModifier, text);
  QApplication::sendEvent(focus, &press);
  QApplication::sendEvent(focus, &release);
  harness::Settle();
  // A request recorded by a click goes out with the next tick.
  if (!window_.isNull() && window_->isVisible()) Tick(window);

  const auto sent = td::Requests();
  for (size_t i = sentBefore; i < sent.size(); ++i) EXPECT_FALSE(IsWrite(sent[i][1])) << "command " << sent[i][1];
  EXPECT_EQ(LinkCalls(), linkCallsBefore);
}

INSTANTIATE_TEST_SUITE_P(Windows, OpeningKeyTest,
                         ::testing::Combine(::testing::Range<size_t>(0, 9), ::testing::Range<size_t>(0, 3)),
                         [](const ::testing::TestParamInfo<std::tuple<size_t, size_t>>& info) {
                           return std::string(Rows()[std::get<0>(info.param)].name) + "_" +
                                  kKeys[std::get<1>(info.param)].name;
                         });

// --- Tab reaches the fields before the buttons ------------------------------

class TabOrderTest : public DialogTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(TabOrderTest, FieldsBeforeButtons) {
  QDialog* window = Open(Rows()[GetParam()]);
  // Tab from the control that has the focus at opening, round the window.
  std::vector<QWidget*> visited{window->focusWidget()};
  ASSERT_NE(visited.front(), nullptr);
  for (int i = 0; i < 200; ++i) {
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(window->focusWidget(), &tab);
    if (window->focusWidget() == visited.front()) break;
    visited.push_back(window->focusWidget());
  }
  ASSERT_EQ(window->focusWidget(), visited.front()) << "Tab does not come round";
  bool buttonSeen = false;
  for (QWidget* widget : visited) {
    const bool button = qobject_cast<QPushButton*>(widget) != nullptr;
    EXPECT_FALSE(buttonSeen && !button) << widget->objectName().toStdString() << " after a button";
    buttonSeen = buttonSeen || button;
  }
  EXPECT_TRUE(buttonSeen);
}

INSTANTIATE_TEST_SUITE_P(Windows, TabOrderTest, ::testing::Range<size_t>(0, 9),
                         [](const ::testing::TestParamInfo<size_t>& info) { return Rows()[info.param].name; });

// --- Status texts: the longest foreseen shows whole, a longer one is cut ----

// The widest text of the driver libraries' table at `metrics`.
QString WidestLibraryText(const QFontMetrics& metrics) {
  QString widest;
  for (int32_t code = 0; code <= dqerr::kLastCode; ++code) {
    const QString text = FromCp1250(dqerr::Text(code));
    if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(widest)) widest = text;
  }
  return widest;
}

// (window, beyond): beyond = a text wider than any library gives, as long as
// an error buffer carries.
class LongStatusTest : public DialogTest, public ::testing::WithParamInterface<std::tuple<size_t, bool>> {};

TEST_P(LongStatusTest, SizeAndPlaceKept) {
  const WindowRow& row = Rows()[std::get<0>(GetParam())];
  const bool beyond = std::get<1>(GetParam());
  QDialog* window = Open(row);
  auto* panel = window->findChild<TStatusPanel*>();
  ASSERT_NE(panel, nullptr);
  const QString text = beyond ? QString(dqabi::kErrorTextWords - 1, QLatin1Char('W')) : WidestLibraryText(panel->fontMetrics());
  td::SetErrorText(kLongTextCode, ToCp1250(text));
  const QSize size = window->size();
  const QPoint centre = window->screen()->availableGeometry().center();
  EXPECT_LE((window->frameGeometry().center() - centre).manhattanLength(), 2) << "not opened centred";

  row.fail(window);
  harness::Settle();

  const QString whole = Q(row.expectedPrefix) + text;
  EXPECT_EQ(panel->text(), whole);
  EXPECT_EQ(window->size(), size);
  EXPECT_LE((window->frameGeometry().center() - centre).manhattanLength(), 2);
  // Whole without a tooltip; beyond that, cut at its end on screen and whole
  // in the tooltip.
  panel->repaint();
  if (!beyond) {
    EXPECT_EQ(panel->ShownText(), whole) << "panel " << panel->width() << " px";
    EXPECT_TRUE(panel->toolTip().isEmpty());
  } else {
    EXPECT_TRUE(panel->ShownText().endsWith(QChar(0x2026))) << panel->ShownText().toStdString();
    EXPECT_TRUE(whole.startsWith(panel->ShownText().chopped(1)));
    EXPECT_EQ(panel->toolTip(), whole);
  }
  EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->ShownText()), panel->contentsRect().width());
}

INSTANTIATE_TEST_SUITE_P(Windows, LongStatusTest,
                         ::testing::Combine(::testing::Range<size_t>(0, 9), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<size_t, bool>>& info) {
                           return std::string(Rows()[std::get<0>(info.param)].name) +
                                  (std::get<1>(info.param) ? "_beyond_any_library" : "_widest_library_text");
                         });

}  // namespace

// --- A long poll gives waiting input a full interval -------------------------

namespace {

// Opens the live windows' tick guard to the test.
struct PollTickProbe : TLiveDialog {
  using TLiveDialog::TPollTick;
};

// A 1 s timer: the tick starts `waitMs` after the timer and keeps the thread
// `tickMs`. Restarted, the timer is due a full second after the tick;
// otherwise 1000 - waitMs - tickMs ms after it. The rows keep 200 ms or more
// between the two, for a loaded machine.
struct PollTickRow {
  const char* name;
  int waitMs;
  int tickMs;
  bool running;
  bool restarted;
};

const PollTickRow kPollTicks[] = {
    {"short_tick_keeps_phase", 400, 0, true, false},
    {"long_tick_restarts", 0, 600, true, true},
    {"stopped_timer_stays_stopped", 0, 600, false, false},
};

class PollTickTest : public ::testing::TestWithParam<PollTickRow> {};

TEST_P(PollTickTest, RestartsOnlyARunningTimerAfterALongTick) {
  const PollTickRow& row = GetParam();
  QTimer timer;
  timer.setInterval(1000);
  if (row.running) timer.start();
  std::this_thread::sleep_for(std::chrono::milliseconds(row.waitMs));
  {
    PollTickProbe::TPollTick tick(&timer);
    std::this_thread::sleep_for(std::chrono::milliseconds(row.tickMs));
  }
  ASSERT_EQ(timer.isActive(), row.running);
  if (!row.running) return;
  const int kept = 1000 - row.waitMs - row.tickMs;
  if (row.restarted) {
    EXPECT_GT(timer.remainingTime(), (kept + 1000) / 2);
  } else {
    EXPECT_LT(timer.remainingTime(), (kept + 1000) / 2);
  }
  EXPECT_EQ(timer.interval(), 1000);
}

INSTANTIATE_TEST_SUITE_P(Ticks, PollTickTest, ::testing::ValuesIn(kPollTicks),
                         [](const ::testing::TestParamInfo<PollTickRow>& info) { return info.param.name; });

}  // namespace

// --- The windows' icon -------------------------------------------------------

// The program gives every window this icon; an icon missing from the
// resources would leave them all with none.
TEST(ProgramIconTest, ComesFromTheResources) {
  const QIcon icon = ProgramIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.pixmap(48, 48).size(), QSize(48, 48));
}
