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
#include <string>
#include <vector>

#include "FormsHarness.h"
#include "Hlavni.h"
#include "ScriptedDriver.h"
#include "ShutdownSignals.h"
#include "Txxx847.h"

namespace {

namespace td = testdriver;
using harness::Q;

constexpr uint8_t kModuleAddress = 5;

// How the register that fails fails.
enum class Failure { None, Write, ReadBack, ReadBackDiffers };

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

class ShutdownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QApplication::setQuitOnLastWindowClosed(false);
    td::Reset();
    ASSERT_TRUE(dir_.isValid());
    form_ = new TForm1((dir_.path() + "/W_dq7184.ini").toStdString());
    TConnectionConfig& config = *form_->Config();
    config = harness::InitialisedConfig(itComPort, kModuleAddress);
    int32_t handle = 0;
    ASSERT_EQ(DriverInit(itComPort, handle, config.InitParams), 0);
    config.DriverHandle = handle;
  }
  void TearDown() override {
    delete form_;
    int32_t handle = 0;
    if (DriverIsBound()) DriverDone(itComPort, handle);
    td::Reset();
  }

  // Raises `signal` `times` times at the first point where messages are
  // processed once `afterRequests` requests were sent.
  void RaiseAfter(size_t afterRequests, int signal, int times) {
    auto* timer = new QTimer(form_);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [=]() {
      if (td::Requests().size() < afterRequests) return;
      timer->stop();
      for (int i = 0; i < times; ++i) std::raise(signal);
    });
    timer->start();
  }

  // Opens the window from the menu, clicks `button` in it, then "Cancel".
  void RunWindow(const Window& window, const char* button) {
    harness::OnNextModal([button](QWidget* dialog) {
      harness::Click(dialog, button);
      harness::Click(dialog, "Button4");
    });
    form_->findChild<QAction*>(window.menuItem)->trigger();
  }

  // Lets the closing run until the record is released (bounded).
  void WaitForClose() {
    QElapsedTimer waited;
    waited.start();
    while (form_->Config() != nullptr && waited.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  }

  QTemporaryDir dir_;
  TForm1* form_ = nullptr;
};

// Scripts the replies of a write sequence: every register verified but the
// one at `failAt`, which fails as told (and ends the sequence).
void ScriptWrites(const Window& window, size_t failAt, Failure failure) {
  for (size_t i = 0; i < window.registers.size(); ++i) {
    const uint8_t value = window.registers[i].second;
    if (i == failAt && failure == Failure::Write) {
      td::QueueStatus(1);
      return;
    }
    td::QueueStatus(0);
    if (i == failAt && failure == Failure::ReadBack) {
      td::QueueStatus(1);
      return;
    }
    const uint8_t readBack = i == failAt && failure == Failure::ReadBackDiffers ? value ^ 0x55 : value;
    td::QueueData({0, 0, readBack, 0});
    if (i == failAt && failure == Failure::ReadBackDiffers) return;
  }
}

// The line standard error gives for one register, up to its state's first words.
std::string ReportLine(uint8_t reg, uint8_t value, const char* state) {
  char head[48];
  std::snprintf(head, sizeof head, "  registr 0x%02X, hodnota %u: ", reg, value);
  return head + std::string(state);
}

// A signal that caught a write sequence which then failed: the program
// still closes as "Konec" does, but says on standard error what became of
// each register and exits with kExitModulePartlyWritten.
TEST_F(ShutdownTest, WriteSequenceThatASignalCaughtAndThatFailedIsReported) {
  struct Row {
    const char* name;
    const Window& window;
    size_t signalAfterRequests;  // 0: no signal
    size_t failAt;
    Failure failure;
    int exitStatus;
    std::vector<const char*> states;  // per register; empty: no report
  };
  const char* kVerified = "zapsán a ověřen";
  const char* kDiffers = "zapsán, zpětné čtení vrátilo jinou hodnotu";
  const char* kUnknown = "nepotvrzen";
  const char* kNotWritten = "nezapsán";
  const Row rows[] = {
      {"address window, read-back of the first register fails", kAddressWindow, 1, 0, Failure::ReadBack,
       kExitModulePartlyWritten, {kUnknown, kNotWritten}},
      {"I/O window, the third write fails", kDioWindow, 4, 2, Failure::Write, kExitModulePartlyWritten,
       {kVerified, kVerified, kUnknown, kNotWritten, kNotWritten, kNotWritten, kNotWritten, kNotWritten,
        kNotWritten, kNotWritten, kNotWritten, kNotWritten}},
      {"counter window, the second register reads back another value", kCounterWindow, 2, 1,
       Failure::ReadBackDiffers, kExitModulePartlyWritten,
       {kVerified, kDiffers, kNotWritten, kNotWritten, kNotWritten, kNotWritten, kNotWritten, kNotWritten}},
      {"I/O window, signal, every register written", kDioWindow, 4, 99, Failure::None, 0, {}},
      {"address window, no signal, the second write fails", kAddressWindow, 0, 1, Failure::Write, 0, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TearDown();
    SetUp();
    bool forcedEnd = false;
    TShutdownSignals shutdown(form_, [&forcedEnd](int) { forcedEnd = true; });
    ScriptWrites(row.window, row.failAt, row.failure);
    if (row.signalAfterRequests > 0) RaiseAfter(row.signalAfterRequests, SIGTERM, 1);
    testing::internal::CaptureStderr();
    RunWindow(row.window, "Button1");
    if (row.signalAfterRequests > 0) WaitForClose();
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(forcedEnd);
    EXPECT_EQ(form_->Config() == nullptr, row.signalAfterRequests > 0) << "closed as by \"Konec\"";
    EXPECT_EQ(shutdown.ExitStatus(), row.exitStatus);
    if (row.states.empty()) {
      EXPECT_EQ(errors.find("registr"), std::string::npos) << errors;
      continue;
    }
    ASSERT_EQ(row.states.size(), row.window.registers.size());
    size_t from = 0;
    for (size_t i = 0; i < row.states.size(); ++i) {
      const std::string line = ReportLine(row.window.registers[i].first, row.window.registers[i].second, row.states[i]);
      const size_t at = errors.find(line, from);
      EXPECT_NE(at, std::string::npos) << "missing in order: " << line << "\n" << errors;
      if (at != std::string::npos) from = at;
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
