#include "WindowFaultTest.h"

#include <QApplication>
#include <algorithm>
#include <chrono>

#include "LibraryTexts.h"

namespace faults {

double Allowed(double boundMs) { return boundMs * 1.25 + 250; }

void WindowFaultTest::SetUp() {
  QApplication::setQuitOnLastWindowClosed(false);
  SetConnectionDefaults(&config_);
}

void WindowFaultTest::TearDown() {
  subject_.reset();
  CloseLink(config_);
}

void WindowFaultTest::OpenWorking(WindowKind kind, const LinkTarget& target) {
  subject_ = MakeSubject(kind);
  if (subject_->NeedsLink()) {
    ASSERT_EQ(ConnectThroughWindow(config_, target), ConnectedText());
  }
  subject_->Open(config_, target);
  subject_->MarkMessage();
  subject_->Act();
  ASSERT_EQ(subject_->Message(), subject_->Success()) << "before the fault";
}

FaultyActions WindowFaultTest::ActUnderFault(const QString& expected, double boundMs,
                                             const std::function<uint64_t()>& heard) {
  FaultyActions result;
  for (int round = 0; round < 2; ++round) {
    const uint64_t heardBefore = heard ? heard() : 0;
    subject_->MarkMessage();
    const auto start = std::chrono::steady_clock::now();
    subject_->Act();
    const double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    result.worstMs = std::max(result.worstMs, elapsed);
    result.shown = subject_->Message();
    EXPECT_EQ(result.shown, expected) << "round " << round;
    EXPECT_LE(elapsed, Allowed(boundMs)) << "round " << round << ", bound " << boundMs << " ms";
    EXPECT_TRUE(subject_->Polling()) << "round " << round;
    if (heard) {
      EXPECT_GT(heard(), heardBefore) << "round " << round;
    }
  }
  return result;
}

void WindowFaultTest::CheckRecovered(ModuleView& module) {
  subject_->Prepare(module);
  subject_->MarkMessage();
  subject_->Act();
  EXPECT_EQ(subject_->Message(), subject_->Success()) << "after the fault";
  subject_->CheckValues(module, config_);
  EXPECT_TRUE(subject_->Polling());
}

}  // namespace faults
