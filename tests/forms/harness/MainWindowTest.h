// The fixture of the main window's suites: the scripted driver cleared
// before and after each test, nothing left bound, and the settings file in
// a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <string>

#include "ScriptedDriver.h"
#include "Txxx847.h"

namespace harness {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QApplication::setQuitOnLastWindowClosed(false);
    testdriver::Reset();
    ASSERT_TRUE(dir_.isValid());
    path_ = (dir_.path() + "/W_dq7184.ini").toStdString();
  }
  void TearDown() override {
    int32_t handle = 0;
    if (DriverIsBound()) DriverDone(itComPort, handle);
    testdriver::Reset();
  }

  QTemporaryDir dir_;
  std::string path_;  // the settings file
};

}  // namespace harness
