// Shared fixture of the driver access layer suites: a clean scripted driver
// before each test, nothing left bound after it.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ScriptedDriver.h"
#include "Txxx847.h"

class Txxx847Test : public ::testing::Test {
 protected:
  void SetUp() override { testdriver::Reset(); }
  void TearDown() override {
    int32_t handle = 0;
    DriverDone(itComPort, handle);
    testdriver::Reset();
  }

  // Binds the scripted library of `type` with a successful Init.
  void Bind(TInterfaceType type = itComPort) {
    handle_ = 0;
    ASSERT_EQ(DriverInit(type, handle_, params_), 0);
    ASSERT_NE(handle_, 0);
  }

  // Whether the process holds the library file beside this program now
  // (RTLD_NOLOAD loads nothing).
  static bool Loaded(const char* fileName) {
    const std::string path = std::filesystem::read_symlink("/proc/self/exe").parent_path() / fileName;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr) {
      dlclose(library);
    }
    return library != nullptr;
  }

  int32_t handle_ = 0;
  intptr_t params_[kInitParamCount] = {};
};
