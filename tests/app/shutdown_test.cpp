// The program's end on signals, in process, against the scripted driver: the
// real main window, its configuration windows opened from the menu, and
// signals raised at the points where a register sequence processes messages.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FormsHarness.h"
#include "Hlavni.h"
#include "MainWindowTest.h"
#include "ScriptedDriver.h"
#include "ShutdownSignals.h"
#include "Txxx847.h"

namespace {

namespace td = testdriver;

// A window's write sequence as the default ModuleSetup gives it.
struct Window {
  const char* menuItem;
  std::vector<std::pair<uint8_t, uint8_t>> registers;  // register, value
};
const Window kAddressWindow{"AdresaRychlost1", {{0x3F, 1}, {0x3E, 4}}};
const Window kDioWindow{"NastavDIO1",
                        {{0x20, 0}, {0x23, 0}, {0x26, 0}, {0x29, 0}, {0x21, 255}, {0x24, 255},
                         {0x27, 255}, {0x2A, 255}, {0x22, 255}, {0x25, 255}, {0x28, 255}, {0x2B, 255}}};
const Window kCounterWindow{"NastavAIN1", {{0, 1}, {1, 0}, {2, 1}, {3, 0}, {4, 1}, {5, 0}, {6, 1}, {7, 0}}};

class ShutdownTest : public harness::MainWindowTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MainWindowTest::SetUp());
    form_ = new TForm1(path_);
    TConnectionConfig& config = *form_->Config();
    config = harness::InitialisedConfig(itComPort, 5);
    ASSERT_EQ(DriverInit(itComPort, config.DriverHandle, config.InitParams), 0);
  }
  void TearDown() override {
    delete form_;
    MainWindowTest::TearDown();
  }

  // Raises `signal` `times` times where messages are first processed once
  // `afterRequests` requests were sent.
  void RaiseAfter(size_t afterRequests, int signal, int times) {
    auto* timer = new QTimer(form_);
    QObject::connect(timer, &QTimer::timeout, [=]() {
      if (td::Requests().size() < afterRequests) return;
      timer->stop();
      for (int i = 0; i < times; ++i) std::raise(signal);
    });
    timer->start(0);
  }

  // Opens the window from the menu, clicks `button` in it, then "Cancel".
  void RunWindow(const Window& window, const char* button) {
    harness::OnNextModal([button](QWidget* dialog) {
      harness::Click(dialog, button);
      harness::Click(dialog, "Button4");
    });
    form_->findChild<QAction*>(window.menuItem)->trigger();
  }

  TForm1* form_ = nullptr;
};

// A signal that caught a write sequence which then failed: the program
// still closes as "Konec" does, but says on standard error what became of
// each register and exits with kExitModulePartlyWritten. Per register: V
// verified, W its write fails, R its read-back fails, D it reads back
// another value, N not written.
TEST_F(ShutdownTest, WriteSequenceThatASignalCaughtAndThatFailedIsReported) {
  struct Row {
    const char* name;
    const Window& window;
    size_t signalAfterRequests;  // 0: no signal
    const char* registers;
    bool reported;
  };
  const Row rows[] = {
      {"address window, read-back of the first register fails", kAddressWindow, 1, "RN", true},
      {"I/O window, the third write fails", kDioWindow, 4, "VVWNNNNNNNNN", true},
      {"counter window, the second register reads back another value", kCounterWindow, 2, "VDNNNNNN", true},
      {"I/O window, signal, every register written", kDioWindow, 4, "VVVVVVVVVVVV", false},
      {"address window, no signal, the second write fails", kAddressWindow, 0, "VW", false},
  };
  const std::map<char, std::string> reportOf = {{'V', "zapsán a ověřen"},
                                                {'D', "zapsán, zpětné čtení vrátilo jinou hodnotu"},
                                                {'W', "nepotvrzen"},
                                                {'R', "nepotvrzen"},
                                                {'N', "nezapsán"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    for (size_t i = 0; row.registers[i] != 'N' && row.registers[i] != 0; ++i) {
      const char code = row.registers[i];
      const uint8_t value = row.window.registers[i].second;
      td::QueueStatus(code == 'W' ? 1 : 0);
      if (code != 'W') td::QueueReply({0, code == 'R' ? 1 : 0, 4, {0, 0, code == 'D' ? value ^ 0x55u : value}});
    }
    bool forcedEnd = false;
    TShutdownSignals shutdown(form_, [&forcedEnd](int) { forcedEnd = true; });
    if (row.signalAfterRequests > 0) RaiseAfter(row.signalAfterRequests, SIGTERM, 1);
    testing::internal::CaptureStderr();
    RunWindow(row.window, "Button1");
    QElapsedTimer waited;  // the close runs on (bounded)
    for (waited.start(); row.signalAfterRequests > 0 && form_->Config() != nullptr && waited.elapsed() < 10000;)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(forcedEnd);
    EXPECT_EQ(form_->Config() == nullptr, row.signalAfterRequests > 0) << "closed as by \"Konec\"";
    EXPECT_EQ(shutdown.ExitStatus(), row.reported ? kExitModulePartlyWritten : 0);
    EXPECT_EQ(errors.find("registr") != std::string::npos, row.reported) << errors;
    size_t from = 0;
    for (size_t i = 0; row.reported && row.registers[i] != 0; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "  registr 0x%02X, hodnota %u: ", row.window.registers[i].first,
                    row.window.registers[i].second);
      from = errors.find(line + reportOf.at(row.registers[i]), from);
      ASSERT_NE(from, std::string::npos) << "register " << i << " missing or out of order:\n" << errors;
    }
  }
}

// A second signal ends the program at once, but a write sequence under way
// first runs to its end: the end comes after its last request, while a read
// sequence is cut at the signal.
TEST_F(ShutdownTest, SecondSignalWaitsOnlyForAWriteSequence) {
  struct Row {
    const char* name;
    const char* button;
    size_t requestsOfSequence;
    bool endsAfterTheSequence;
  };
  const Row rows[] = {
      {"I/O window writing", "Button1", 24, true},
      {"I/O window reading", "Button2", 12, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    for (const auto& reg : kDioWindow.registers) {
      if (row.endsAfterTheSequence) td::QueueStatus(0);
      td::QueueData({0, 0, reg.second, 0});
    }
    int status = -1;
    size_t requestsAtEnd = 0;
    TShutdownSignals shutdown(form_, [&](int endStatus) {
      status = endStatus;
      requestsAtEnd = td::Requests().size();
    });
    RaiseAfter(4, SIGINT, 2);
    RunWindow(kDioWindow, row.button);
    EXPECT_EQ(status, 0) << "settings written, nothing lost";
    if (row.endsAfterTheSequence) {
      EXPECT_EQ(requestsAtEnd, row.requestsOfSequence);
    } else {
      EXPECT_LT(requestsAtEnd, row.requestsOfSequence);
    }
    EXPECT_FALSE(DriverIsBound()) << "the driver is closed before the end";
  }
}

// The handler leaves errno as the interrupted code had it, also when its
// write fails because nobody has read the earlier signals yet.
TEST(ShutdownSignalHandler, KeepsErrno) {
  TForm1 form((QTemporaryDir().path() + "/W_dq7184.ini").toStdString());
  TShutdownSignals shutdown(&form, [](int) {});
  for (int i = 0; i < 5000; ++i) {
    errno = ENOTTY;
    std::raise(SIGHUP);
    ASSERT_EQ(errno, ENOTTY) << "after signal " << i + 1;
  }
}

}  // namespace
