// Loader faults of the driver access layer. This binary lives in the faulty
// folder, where libraries are loaded from: TCOM847.DLL there lacks
// GetConfig, TPCI847.DLL is not a shared object, the other names are absent.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "TempDir.h"
#include "Txxx847.h"

namespace {

namespace fs = std::filesystem;

class LoaderFaults : public ::testing::Test {
 protected:
  void TearDown() override {
    int32_t handle = 0;
    DriverDone(itComPort, handle);
  }
  int32_t Init(TInterfaceType type) {
    handle_ = 0;
    return DriverInit(type, handle_, params_);
  }
  int32_t handle_ = 0;
  intptr_t params_[kInitParamCount] = {};
};

// Whether the process holds the library file of the faulty folder now.
bool Loaded(const char* fileName) {
  const std::string path = std::string(DQ_FAULTYDRIVER_DIR) + "/" + fileName;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library != nullptr) {
    dlclose(library);
  }
  return library != nullptr;
}

TEST_F(LoaderFaults, LibraryLackingOnlyGetConfigIsRefusedAndUnloaded) {
  EXPECT_EQ(Init(itComPort), 110);
  EXPECT_FALSE(DriverIsBound());
  EXPECT_FALSE(Loaded("TCOM847.DLL"));
  EXPECT_EQ(handle_, 0);  // Init was never called
  // The file itself loads: the refusal is about the missing entry point.
  void* direct = dlopen(DQ_FAULTYDRIVER_DIR "/TCOM847.DLL", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(dlsym(direct, "TCOM847_GetConfig"), nullptr);
  EXPECT_NE(dlsym(direct, "TCOM847_Init"), nullptr);
  dlclose(direct);
}

TEST_F(LoaderFaults, FileThatIsNoLibraryOrIsAbsentGivesLoadFailure) {
  EXPECT_EQ(Init(itPci847), 101);
  EXPECT_EQ(Init(itPci2847), 102);
  EXPECT_EQ(Init(itUsb2847), 103);
  EXPECT_EQ(Init(itDq2847), 104);
  EXPECT_FALSE(DriverIsBound());
  EXPECT_EQ(DriverErrorString(itDq2847, 104), "chyba inicializace knihovny TDQ2847.DLL");
  EXPECT_EQ(DriverErrorString(itComPort, 110), "chybn\xE1 knihovna TCOM847.DLL");
}

TEST_F(LoaderFaults, LoaderFailuresLeaveTheLayerWithoutEntryPoints) {
  ASSERT_EQ(Init(itPci847), 101);
  int32_t count = 0;
  int32_t status = 0;
  TExchangeRequest request = {};
  TExchangeReply reply = {};
  EXPECT_EQ(DriverSend(itPci847, 1, request, reply, count, status), 10);
  EXPECT_EQ(DriverSetConfig(itPci847, 1, 9600, 13, 2), 10);
  int32_t handle = 7;
  EXPECT_EQ(DriverDone(itPci847, handle), 10);
  EXPECT_EQ(handle, 7);
}

// A library with the right name in the current directory is never loaded.
TEST_F(LoaderFaults, LibraryInTheCurrentDirectoryIsNotLoaded) {
  const dqtest::TempDir scratch;
  const fs::path dir(scratch.Path());
  const fs::path scripted(DQ_TESTDRIVER_DIR);
  fs::copy_file(scripted / "TPCI2847.DLL", dir / "TPCI2847.DLL");
  fs::copy_file(scripted / "libdqtestdriver.so", dir / "libdqtestdriver.so");
  char previous[PATH_MAX];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);

  const int32_t result = Init(itPci2847);
  const bool bound = DriverIsBound();
  // The planted copy is a working library when named with its path.
  void* direct = dlopen("./TPCI2847.DLL", RTLD_NOW | RTLD_LOCAL);
  const bool directHasSend = direct != nullptr && dlsym(direct, "TPCI2847_Send") != nullptr;
  if (direct != nullptr) {
    dlclose(direct);
  }

  EXPECT_EQ(chdir(previous), 0);
  EXPECT_EQ(result, 102);
  EXPECT_FALSE(bound);
  EXPECT_TRUE(directHasSend);
}

}  // namespace
