// The driver access layer never loads a library from the current folder: a
// library carrying a driver's file name planted there stays untouched, and
// the real one from the program's folder (this binary's RUNPATH, as
// $ORIGIN is the program's) is loaded instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "PlantedFolder.h"
#include "Txxx847.h"

namespace {

namespace fs = std::filesystem;

class LoadingFromProgramFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    // The current folder is searched only when the environment asks for it.
    const char* searchPath = std::getenv("LD_LIBRARY_PATH");
    ASSERT_TRUE(searchPath == nullptr || std::string(searchPath).empty())
        << "LD_LIBRARY_PATH would decide where libraries come from: " << searchPath;
    ASSERT_TRUE(planted_.Ready());
    // Nothing to find for the card and converter searches, and an empty
    // port map: the real libraries fail their Init in a known way.
    fs::create_directories(planted_.Path() + "/empty/sys");
    fs::create_directories(planted_.Path() + "/empty/dev");
    setenv("DQ7184_SYSFS_ROOT", (planted_.Path() + "/empty/sys").c_str(), 1);
    setenv("DQ7184_DEV_ROOT", (planted_.Path() + "/empty/dev").c_str(), 1);
    setenv("DQ7184_PORTMAP", (planted_.Path() + "/empty/ports.conf").c_str(), 1);
  }
  void TearDown() override {
    int32_t handle = 0;
    if (DriverIsBound()) DriverDone(itDq2847, handle);
    unsetenv("DQ7184_SYSFS_ROOT");
    unsetenv("DQ7184_DEV_ROOT");
    unsetenv("DQ7184_PORTMAP");
  }

  // The library of the type is mapped from the program's folder only.
  void ExpectLoadedFromProgramFolder(TInterfaceType type) {
    const std::vector<std::string> mapped = faults::MappedFiles(DriverLibraryName(type));
    ASSERT_EQ(mapped.size(), 1u) << DriverLibraryName(type);
    EXPECT_EQ(fs::path(mapped[0]).parent_path(), fs::canonical(DQ_OUTPUT_DIR)) << mapped[0];
  }

  faults::PlantedFolder planted_{DQ_PLANTED_LIBRARY};
};

TEST_F(LoadingFromProgramFolder, RealLanLibraryWorksAndThePlantedOneIsNeverLoaded) {
  const std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(ip.c_str()), 5999, 40};
  int32_t handle = 0;
  ASSERT_EQ(DriverInit(itDq2847, handle, params), 0);
  EXPECT_NE(handle, 4242) << "the planted Init's handle";
  ExpectLoadedFromProgramFolder(itDq2847);
  // The real library's own text, not the planted one's.
  EXPECT_EQ(DriverErrorString(itDq2847, 0), Cp1250FromUtf8("V pořádku"));
  EXPECT_FALSE(planted_.MarkerWritten());
  EXPECT_EQ(DriverDone(itDq2847, handle), 0);
  EXPECT_FALSE(planted_.MarkerWritten());
}

TEST_F(LoadingFromProgramFolder, EveryInterfaceTakesItsLibraryFromTheProgramFolder) {
  // Init results of the real libraries with nothing to find here.
  const struct {
    TInterfaceType type;
    intptr_t word0;
    int32_t code;
  } cases[] = {
      {itComPort, 200, 13},     // COM200: no device
      {itPci847, 0x300, 24},    // no ISA card
      {itPci2847, 0, 25},       // no PCI card
      {itUsb2847, 0, 26},       // no USB converter
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(DriverLibraryName(c.type));
    intptr_t params[kInitParamCount] = {c.word0};
    int32_t handle = 0;
    EXPECT_EQ(DriverInit(c.type, handle, params), c.code);
    EXPECT_TRUE(DriverIsBound());
    ExpectLoadedFromProgramFolder(c.type);
    EXPECT_FALSE(planted_.MarkerWritten());
    handle = 0;
    DriverDone(c.type, handle);
  }
}

}  // namespace
