// Shared fixture of the live window suites: a scripted COM driver bound for
// each test, a record that uses it, and helpers that script replies and
// build the expected requests.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

#include "FormsHarness.h"
#include "ScriptedDriver.h"
#include "Txxx847.h"
#include "test_scripted_link_fixture.h"

namespace livetest {

namespace td = testdriver;
using Request = std::array<uint32_t, 8>;
using harness::Q;

constexpr uint8_t kModuleAddress = 7;

inline Request Req(uint8_t command, uint8_t subcode, uint8_t b3 = 0, uint8_t b4 = 0, uint8_t b5 = 0,
                   uint8_t b6 = 0, uint8_t b7 = 0) {
  return {kModuleAddress, command, subcode, b3, b4, b5, b6, b7};
}

// A reply whose words 0-3 (returned as b4-b7) are the four bytes.
inline void QueueBytes(uint32_t b4, uint32_t b5, uint32_t b6, uint32_t b7) { td::QueueData({b4, b5, b6, b7}); }

inline QTimer* TimerOf(QWidget* window) { return window->findChild<QTimer*>(QStringLiteral("Timer1")); }

// Texts of the value labels Label33-Label64 (channel 0 first).
inline std::vector<QString> Values(QWidget* window) {
  std::vector<QString> texts;
  for (int n = 33; n <= 64; ++n) texts.push_back(harness::LabelText(window, QStringLiteral("Label%1").arg(n)));
  return texts;
}

inline QString Value(QWidget* window, int channel) {
  return harness::LabelText(window, QStringLiteral("Label%1").arg(33 + channel));
}

// Keeps a window's timer in its state but pushes its next tick an hour
// away, so that only the test's own Timer1Timer calls poll.
inline void Freeze(QWidget* window) {
  if (QTimer* timer = TimerOf(window)) timer->setInterval(3600 * 1000);
}

// Each action in turn shows the "link not initialised" text anew (the
// panel is marked between them).
inline void ExpectEachShowsLinkNotInitialised(QWidget* window, const std::vector<std::function<void()>>& actions) {
  for (size_t i = 0; i < actions.size(); ++i) {
    if (i > 0) window->findChild<TStatusBar*>("StatusBar1")->SetPanelText(0, "x");
    actions[i]();
    EXPECT_EQ(harness::StatusPanel(window), kLinkNotInitialisedText) << "action " << i;
  }
}

class LiveWindowTest : public ScriptedLinkTest {
 protected:
  LiveWindowTest() : ScriptedLinkTest(kModuleAddress) {}

  // Opened on the record, its timer frozen.
  template <class Window>
  void OpenFrozen(Window& window) {
    Freeze(&window);
    window.SetConfig(&config_);
    Open(window);
  }

  void Unlink() { config_.Initialized = false; }
};

}  // namespace livetest
