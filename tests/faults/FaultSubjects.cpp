#include "FaultSubjects.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include "FormsHarness.h"
#include "LibraryTexts.h"
#include "NastavAdr.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "Pripojeni.h"

namespace faults {

void FillConnectionWindow(QWidget* window, const LinkTarget& target) {
  if (target.kind == LinkKind::kUdp) {
    harness::Choose(window, "ComboBox2", itDq2847);
    harness::Type(window, "Edit2", "127.0.0.1");
    harness::Type(window, "Edit3", QString::number(target.udpPort));
    harness::Type(window, "Edit4", QString::number(kUdpTimeoutMs));
  } else {
    harness::Choose(window, "ComboBox2", itComPort);
    harness::Type(window, "Edit2", QString::number(kComPort));
  }
  harness::Type(window, "Edit1", QString::number(kModuleAddress));
  harness::Choose(window, "ComboBox1", kBaudCode);
}

QString ConnectThroughWindow(TConnectionConfig& config, const LinkTarget& target) {
  TForm2 window;
  window.SetConfig(&config);
  window.show();
  harness::Settle();
  FillConnectionWindow(&window, target);
  window.Button1Click();
  return harness::LabelText(&window, "Panel1");
}

QString Subject::Expected(const Outcome& outcome) const {
  return outcome.code == 0 ? Success() : QStringLiteral(" ") + LibraryText(outcome.code);
}

namespace {

void MarkStatusBar(QWidget* window) {
  if (auto* bar = harness::Find<TStatusBar>(window, "StatusBar1")) bar->SetPanelText(0, QStringLiteral("-"));
}

// The windows' own timers must not fire during a test: ticks are called
// by the test.
void FreezeTimer(QWidget* window) {
  if (auto* timer = harness::Find<QTimer>(window, "Timer1")) timer->setInterval(3600 * 1000);
}

bool TimerActive(QWidget* window) {
  auto* timer = harness::Find<QTimer>(window, "Timer1");
  return timer != nullptr && timer->isActive();
}

QString ValueLabel(QWidget* window, int channel) {
  return harness::LabelText(window, QStringLiteral("Label%1").arg(33 + channel));
}

template <class T>
std::unique_ptr<T> OpenWindow(TConnectionConfig& config, bool freezeTimer) {
  auto window = std::make_unique<T>();
  window->SetConfig(&config);
  if (freezeTimer) FreezeTimer(window.get());
  window->show();
  harness::Settle();
  return window;
}

class ConnectSubject : public Subject {
 public:
  const char* Name() const override { return "TForm2 initialisation"; }
  bool NeedsLink() const override { return false; }
  int ExchangesPerAction() const override { return 3; }
  const char* Action() const override { return "click"; }
  void Open(TConnectionConfig& config, const LinkTarget& target) override {
    window_ = OpenWindow<TForm2>(config, false);
    FillConnectionWindow(window_.get(), target);
  }
  void Act() override { window_->Button1Click(); }
  QString Message() const override { return harness::LabelText(window_.get(), "Panel1"); }
  void MarkMessage() override { harness::Find<QLabel>(window_.get(), "Panel1")->setText(QStringLiteral("-")); }
  QString Expected(const Outcome& outcome) const override {
    if (outcome.atInit) return InitFailedText(outcome.code);
    return outcome.code == 0 ? Success() : LibraryText(outcome.code);
  }
  QString Success() const override { return ConnectedText(); }
  void CheckValues(ModuleView&, const TConnectionConfig& config) const override {
    EXPECT_TRUE(config.Initialized);
    EXPECT_NE(config.DriverHandle, 0);
    EXPECT_EQ(config.ModuleIdent, "DQ7184/9 v.1.03");
  }

 private:
  std::unique_ptr<TForm2> window_;
};

class ConfigReadSubject : public Subject {
 public:
  const char* Name() const override { return "TForm12 \"Přečíst\""; }
  int ExchangesPerAction() const override { return 2; }
  const char* Action() const override { return "click"; }
  void Open(TConnectionConfig& config, const LinkTarget&) override { window_ = OpenWindow<TForm12>(config, false); }
  void Act() override { harness::Click(window_.get(), "Button2"); }
  QString Message() const override { return window_->StatusText(); }
  void MarkMessage() override { MarkStatusBar(window_.get()); }
  QString Success() const override { return harness::Q(" Konfigurace přečtena."); }
  void Prepare(ModuleView&) override {
    harness::Type(window_.get(), "Edit1", "77");
    harness::Find<QComboBox>(window_.get(), "ComboBox1")->setCurrentIndex(0);
  }
  void CheckValues(ModuleView& module, const TConnectionConfig&) const override {
    EXPECT_EQ(harness::EditText(window_.get(), "Edit1"), QString::number(module.Register(0x3F)));
    EXPECT_EQ(harness::Find<QComboBox>(window_.get(), "ComboBox1")->currentIndex(), module.Register(0x3E));
  }

 private:
  std::unique_ptr<TForm12> window_;
};

// A live window: its timer's ticks are the actions, its status bar shows
// their messages.
template <class Window>
class LiveSubject : public Subject {
 public:
  const char* Action() const override { return "tick"; }
  void Open(TConnectionConfig& config, const LinkTarget&) override { window_ = OpenWindow<Window>(config, true); }
  void Act() override { window_->Timer1Timer(); }
  QString Message() const override { return harness::StatusPanel(window_.get()); }
  void MarkMessage() override { MarkStatusBar(window_.get()); }
  QString Success() const override { return QStringLiteral(" ") + LibraryText(0); }
  // The timer is stopped during a tick and must run again after a failed one.
  bool Polling() const override { return TimerActive(window_.get()); }

 protected:
  std::unique_ptr<Window> window_;
};

class InputsSubject : public LiveSubject<TForm11> {
 public:
  const char* Name() const override { return "TForm11 tick"; }
  int ExchangesPerAction() const override { return 1; }
  void Prepare(ModuleView& module) override { module.SetInputs(0x80010005u); }
  void CheckValues(ModuleView& module, const TConnectionConfig&) const override {
    const uint32_t inputs = module.Inputs();
    ASSERT_EQ(inputs, 0x80010005u);
    for (int n = 0; n < 32; ++n) {
      EXPECT_EQ(ValueLabel(window_.get(), n), (inputs >> n) & 1u ? "1" : "0") << "DIN" << n;
    }
  }
};

class CountersSubject : public LiveSubject<TForm6> {
 public:
  const char* Name() const override { return "TForm6 tick"; }
  int ExchangesPerAction() const override { return 8; }
  void Prepare(ModuleView& module) override {
    module.Pulse(10, 5);
    module.Pulse(31, 70000);
  }
  void CheckValues(ModuleView& module, const TConnectionConfig&) const override {
    const auto counters = module.Counters();
    EXPECT_GE(counters[31], 70000u);
    for (int n = 0; n < 32; ++n) EXPECT_EQ(ValueLabel(window_.get(), n), QString::number(counters[n])) << "CNT" << n;
  }
};

}  // namespace

const char* WindowTag(WindowKind kind) {
  switch (kind) {
    case WindowKind::kConnect: return "Connect";
    case WindowKind::kConfigRead: return "ConfigRead";
    case WindowKind::kInputsTick: return "InputsTick";
    case WindowKind::kCountersTick: return "CountersTick";
  }
  return "?";
}

std::unique_ptr<Subject> MakeSubject(WindowKind kind) {
  switch (kind) {
    case WindowKind::kConnect: return std::make_unique<ConnectSubject>();
    case WindowKind::kConfigRead: return std::make_unique<ConfigReadSubject>();
    case WindowKind::kInputsTick: return std::make_unique<InputsSubject>();
    case WindowKind::kCountersTick: return std::make_unique<CountersSubject>();
  }
  return nullptr;
}

}  // namespace faults
