// The steps every window fault test takes around its fault: the window
// opened and working, two actions under the fault, and the action that
// must work again once the fault is gone.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "Dekl.h"
#include "FaultRig.h"
#include "FaultSubjects.h"
#include "ModuleView.h"

namespace faults {

// Generous margin over the document's bound: this is a correctness bound
// (nothing hangs), not a speed target.
double Allowed(double boundMs);

// What the actions under a fault showed.
struct FaultyActions {
  QString shown;  // the last one's message
  double worstMs = 0;
};

// With ::testing::WithParamInterface for the rows.
class WindowFaultTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens a window of the kind (through a connection window first when it
  // needs an open link); its first action must work. Fatal failures.
  void OpenWorking(WindowKind kind, const LinkTarget& target);
  // Two actions: each shows `expected`, ends within Allowed(boundMs) and
  // leaves the window polling; `heard` (when given) grows with each.
  FaultyActions ActUnderFault(const QString& expected, double boundMs,
                              const std::function<uint64_t()>& heard = nullptr);
  // After the fault: the window's action works and shows the module's values.
  void CheckRecovered(ModuleView& module);

  TConnectionConfig config_{};
  std::unique_ptr<Subject> subject_;
};

}  // namespace faults
