// Shared fixture of the configuration window suites: a scripted COM driver
// bound for each test, a record that uses it, helpers that script register
// replies and build the expected requests, and recorders for the status
// texts as painted and for the points where a sequence pumps messages.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <array>
#include <functional>
#include <set>
#include <vector>

#include "ConfigWindow.h"
#include "FormsHarness.h"
#include "ScriptedDriver.h"
#include "Txxx847.h"
#include "test_scripted_link_fixture.h"

namespace configtest {

namespace td = testdriver;
using Request = std::array<uint32_t, 8>;

constexpr uint8_t kModuleAddress = 5;

inline Request ReadRequest(uint8_t reg, uint8_t echo = 0) {
  return {kModuleAddress, 102, 0, 0, reg, reg, echo, echo};
}
inline Request WriteRequest(uint8_t reg, uint8_t value) {
  return {kModuleAddress, 103, 0, 0, reg, reg, value, value};
}

// The reads of the registers, in order.
inline std::vector<Request> ReadRequests(const std::vector<uint8_t>& registers) {
  std::vector<Request> requests;
  for (uint8_t reg : registers) requests.push_back(ReadRequest(reg));
  return requests;
}

// The module answers a register read with `value` in reply word 2 (b6).
inline void QueueRead(uint8_t value) { td::QueueData({0, 0, value, 0}); }
// A write that succeeds and reads back `value`.
inline void QueueVerifiedWrite(uint8_t value) {
  td::QueueStatus(0);
  QueueRead(value);
}

// Every text the first status panel showed, in order, each with the number
// of requests sent when it was painted. A text counts only when painted, so
// the recorder also proves that the bar repaints at once.
class StatusRecorder : public QObject {
 public:
  struct Entry {
    QString text;
    size_t requests;
  };
  explicit StatusRecorder(QWidget* window) : panel_(window->findChild<QLabel*>(QStringLiteral("StatusPanel1"))) {
    if (panel_ != nullptr) panel_->installEventFilter(this);
  }
  std::vector<QString> Texts() const {
    std::vector<QString> texts;
    for (const Entry& entry : entries_) texts.push_back(entry.text);
    return texts;
  }
  const std::vector<Entry>& Entries() const { return entries_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == panel_ && event->type() == QEvent::Paint) {
      if (entries_.empty() || entries_.back().text != panel_->text())
        entries_.push_back({panel_->text(), td::Requests().size()});
    }
    return false;
  }

 private:
  QLabel* panel_;
  std::vector<Entry> entries_;
};

// Where a running sequence processes messages: the number of requests sent
// at each pump (a zero-interval timer fires once per message pass).
class PumpRecorder {
 public:
  PumpRecorder() {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this]() { points_.insert(td::Requests().size()); });
    timer_.start();
  }
  const std::set<size_t>& Points() const { return points_; }

 private:
  QTimer timer_;
  std::set<size_t> points_;
};

inline std::set<size_t> Range(size_t first, size_t last, size_t stride = 1) {
  std::set<size_t> values;
  for (size_t v = first; v <= last; v += stride) values.insert(v);
  return values;
}

// Runs `action` from within the first message pump of whatever runs next.
inline void DuringNextPump(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

class ConfigWindowTest : public ScriptedLinkTest {
 protected:
  ConfigWindowTest() : ScriptedLinkTest(kModuleAddress) {}

  // The window opened on the record, as the main window opens it.
  void Open(TConfigWindow& window) {
    window.SetConfig(&config_);
    ScriptedLinkTest::Open(window);
  }

  // What one click on a sequence's button sent and painted.
  struct Recorded {
    std::vector<Request> sent;
    std::vector<QString> texts;  // as StatusRecorder
    std::set<size_t> pumps;      // as PumpRecorder
  };
  static Recorded ClickRecorded(QWidget& window, const char* button) {
    StatusRecorder status(&window);
    PumpRecorder pumps;
    harness::Click(&window, button);
    return {Sent(), status.Texts(), pumps.Points()};
  }
};

}  // namespace configtest
